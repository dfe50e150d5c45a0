#include "SynthesisFixture.h"

#include "common/FileUtils.h"
#include "synthesis/ConvertRequest.h"
#include "synthesis/SpeechWav.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace synthtest;

namespace {

struct ChildResult
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray err;
    QByteArray out;
};

// Runs "salvormithe --convert" with the given bytes on its standard input.
ChildResult runWorker(const QByteArray& input, bool closeInput = true, int splitAt = -1, const QString& workDir = {})
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(testutil::binDir() + "/salvormithe", {"--convert"});
    ChildResult r;
    if (!p.waitForStarted(testutil::hangLimitMs))
        return r;
    if (splitAt >= 0) {
        // The length word arrives in two pieces.
        p.write(input.left(splitAt));
        p.waitForBytesWritten(1000);
        QThread::msleep(150);
        p.write(input.mid(splitAt));
    } else {
        p.write(input);
    }
    p.waitForBytesWritten(testutil::hangLimitMs);
    if (closeInput)
        p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    r.exitCode = p.exitCode();
    r.crashed = p.exitStatus() == QProcess::CrashExit;
    r.err = p.readAllStandardError();
    r.out = p.readAllStandardOutput();
    return r;
}

// The framed request bytes a pool job writes.
QByteArray requestBytes(const LocalVoice& voice, float srate, std::vector<std::string> sentences, std::string wav)
{
    return QByteArray::fromStdString(ConvertRequest::make(voice, srate, std::move(sentences), std::move(wav)).encode());
}

QByteArray lengthWord(int32_t n)
{
    return QByteArray(reinterpret_cast<const char*>(&n), 4);
}

QByteArray framed(const QByteArray& json)
{
    return lengthWord(int32_t(json.size())) + json;
}

class ConvertWorker : public ::testing::Test
{
protected:
    void TearDown() override { fs::remove_all(voicesDir()); }
    testutil::TempDir tmp;
};

} // namespace

TEST_F(ConvertWorker, ConvertsARequestIntoSpeech)
{
    LocalVoice v = installVoice("en_worker", {0});
    fs::path wav = tmp.path() / "out.wav";
    QByteArray req = requestBytes(v, 1.0f, {"Hello from the conversion worker.", "It speaks two sentences."},
                                         pathToUtf8(wav));
    // The parent leaves standard input open: the child must not wait for its end.
    ChildResult r = runWorker(req, false);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_TRUE(r.out.isEmpty());
    Wav w = readWav(wav);
    EXPECT_TRUE(isSpeechWav(w));
    EXPECT_GT(w.seconds(), 1.5);
    EXPECT_GT(w.rms(), 500.0);

    // The length word in two pieces.
    fs::remove(wav);
    r = runWorker(req, false, 2);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(isSpeechWav(readWav(wav)));
}

TEST_F(ConvertWorker, FailureRowsGiveTheirTextAndExitOne)
{
    installVoice("en_rows", {0});
    struct Row
    {
        const char* what;
        QByteArray input;
        QByteArray expected;
    };
    std::vector<Row> rows = {
        {"closed stdin", QByteArray(), "Invalid input(0)."},
        {"partial length word", QByteArray("\x05\x00", 2), "Invalid input(0)."},
        {"short body", lengthWord(100) + "{\"voice_uid\":", "Invalid input(1)."},
        {"huge length", lengthWord(0x7fffffff) + "{}", "Invalid input(1)."},
        {"negative length", lengthWord(-8) + "{}", "Invalid input(1)."},
        {"empty text", lengthWord(0), "Invalid input(2)."},
        {"array", framed("[]"), "Invalid input(2)."},
        {"string", framed("\"text\""), "Invalid input(2)."},
        {"not json", framed("{voice"), "Invalid input(2)."},
        {"trailing garbage inside N", framed("{}xyz"), "Invalid input(2)."},
        {"unknown voice", framed(R"({"voice_uid":"nope","voice_spk":3,"srate":1,"wav":"/tmp/x.wav","sentences":["a"]})"),
         "Invalid voice: nope(3)."},
        {"unknown speaker", framed(R"({"voice_uid":"en_rows","voice_spk":1,"srate":1,"wav":"/tmp/x.wav","sentences":["a"]})"),
         "Invalid voice: en_rows(1)."},
    };
    for (const Row& row : rows) {
        ChildResult r = runWorker(row.input);
        EXPECT_EQ(r.exitCode, 1) << row.what;
        EXPECT_FALSE(r.crashed) << row.what;
        EXPECT_EQ(r.err, row.expected) << row.what;
    }

    // Folders named like the model files are not taken for them; no WAV stays behind.
    fs::path wav = tmp.path() / "gone.wav";
    fs::remove(voicesDir() / "en_rows" / "en_rows.onnx");
    testutil::writeFile(voicesDir() / "en_rows" / "other.ONNX", "m");
    fs::remove(voicesDir() / "en_rows" / "en_rows.onnx.json");
    fs::create_directories(voicesDir() / "en_rows" / "dir.onnx.json");
    QByteArray req = framed(QByteArray::fromStdString(
        R"({"voice_uid":"en_rows","voice_spk":0,"srate":1,"wav":")" + pathToUtf8(wav) + R"(","sentences":["Hi."]})"));
    ChildResult r = runWorker(req);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.toStdString(), "Invalid voice: en_rows(0).");
    EXPECT_FALSE(fs::exists(wav));
}

TEST_F(ConvertWorker, RequestsOfTheWrongTypeOrRangeAreRefusedAndWriteNothing)
{
    installVoice("en_typed", {0});
    const std::string wav = pathToUtf8(tmp.path() / "typed.wav");
    // A valid request with one member replaced (or removed, with an empty value).
    auto with = [&](const std::string& key, const std::string& value) {
        std::map<std::string, std::string> members = {{"voice_uid", R"("en_typed")"},
                                                      {"voice_spk", "0"},
                                                      {"srate", "1.0"},
                                                      {"wav", "\"" + wav + "\""},
                                                      {"sentences", R"(["Never spoken."])"}};
        members[key] = value;
        std::string body;
        for (const auto& m : members) {
            if (!m.second.empty())
                body += (body.empty() ? "{" : ",") + ("\"" + m.first + "\":" + m.second);
        }
        return framed(QByteArray::fromStdString(body + "}"));
    };
    const std::string rate = "Invalid input(srate): %1 is not a speech rate from 0.1 to 2.0.";
    struct Row
    {
        std::string key, value, expected;
    };
    const std::vector<Row> rows = {
        {"sentences", R"("Hello.")", "Invalid input(sentences): not a list."},
        {"sentences", R"({"a":"Hello","b":"x"})", "Invalid input(sentences): not a list."},
        {"sentences", "null", "Invalid input(sentences): not a list."},
        {"sentences", "7", "Invalid input(sentences): not a list."},
        {"sentences", "", "Invalid input(sentences): not a list."},
        {"sentences", "[]", "Invalid input(sentences): the list is empty."},
        {"sentences", R"(["a",5])", "Invalid input(sentences): item 1 is not a text."},
        {"wav", "123", "Invalid input(wav): not a text."},
        {"wav", "true", "Invalid input(wav): not a text."},
        {"wav", "4.5", "Invalid input(wav): not a text."},
        {"wav", "", "Invalid input(wav): not a text."},
        {"wav", R"("typed.wav")", "Invalid input(wav): not an absolute path."},
        {"wav", R"("")", "Invalid input(wav): not an absolute path."},
        {"wav", "\"" + wav + "\\u0000.x\"", "Invalid input(wav): not an absolute path."},
        {"srate", "[1]", "Invalid input(srate): not a number."},
        {"srate", "null", "Invalid input(srate): not a number."},
        {"srate", R"("0.8")", "Invalid input(srate): not a number."},
        {"srate", "", "Invalid input(srate): not a number."},
        {"srate", "3", QString::fromStdString(rate).arg("3").toStdString()},
        {"srate", "5", QString::fromStdString(rate).arg("5").toStdString()},
        {"srate", "2.9", QString::fromStdString(rate).arg("2.9").toStdString()},
        {"srate", "1e308", QString::fromStdString(rate).arg("1e+308").toStdString()},
        {"srate", "-1e308", QString::fromStdString(rate).arg("-1e+308").toStdString()},
        {"srate", "NaN", QString::fromStdString(rate).arg("nan").toStdString()},
        {"srate", "Infinity", QString::fromStdString(rate).arg("inf").toStdString()},
        {"srate", "-Infinity", QString::fromStdString(rate).arg("-inf").toStdString()},
        {"srate", "-1", QString::fromStdString(rate).arg("-1").toStdString()},
        {"srate", "0", QString::fromStdString(rate).arg("0").toStdString()},
        {"srate", "0.05", QString::fromStdString(rate).arg("0.05").toStdString()},
        {"voice_uid", "5", "Invalid input(voice_uid): not a text."},
        {"voice_uid", "", "Invalid input(voice_uid): not a text."},
        {"voice_spk", "2.9", "Invalid input(voice_spk): not a speaker number."},
        {"voice_spk", R"("0")", "Invalid input(voice_spk): not a speaker number."},
        {"voice_spk", "-1", "Invalid input(voice_spk): not a speaker number."},
        {"voice_spk", "4294967296", "Invalid input(voice_spk): not a speaker number."},
    };
    const QString work = QString::fromStdString(pathToUtf8(tmp.path()));
    for (const Row& row : rows) {
        ChildResult r = runWorker(with(row.key, row.value), true, -1, work);
        EXPECT_EQ(r.exitCode, 1) << row.key << " " << row.value;
        EXPECT_FALSE(r.crashed) << row.key << " " << row.value;
        EXPECT_EQ(r.err.toStdString(), row.expected) << row.key << " " << row.value;
    }
    // Nothing was written, neither the output nor files named after odd values.
    EXPECT_TRUE(fs::is_empty(tmp.path()));

    // The same request with every member right speaks.
    ChildResult r = runWorker(with("sentences", R"(["Spoken."])"), true, -1, work);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(isSpeechWav(readWav(wav)));
}

TEST_F(ConvertWorker, ASignalThatEndsTheWorkerRemovesItsUnfinishedFile)
{
    LocalVoice v = installVoice("en_signal", {0});
    // Enough speech to keep the worker busy long after its file has appeared.
    std::vector<std::string> sentences(20000, "This sentence keeps the conversion worker busy for a while.");
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        fs::path wav = tmp.path() / ("signal" + std::to_string(sig) + ".wav");
        QProcess p;
        p.start(testutil::binDir() + "/salvormithe", {"--convert"});
        ASSERT_TRUE(p.waitForStarted(testutil::hangLimitMs));
        p.write(requestBytes(v, 1.0f, sentences, pathToUtf8(wav)));
        fs::path part = SpeechWav::partPath(pathToUtf8(wav), long(p.processId()));
        ASSERT_TRUE(testutil::waitFor([&] { return fs::exists(part); }, 60000)) << sig;
        ASSERT_EQ(::kill(pid_t(p.processId()), sig), 0);
        ASSERT_TRUE(p.waitForFinished(60000)) << sig;
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << sig;
        EXPECT_FALSE(fs::exists(part)) << sig;
        EXPECT_FALSE(fs::exists(wav)) << sig;
    }
}

namespace {

// A worker in a process group of its own, as under `timeout` or a login session.
class GroupLeader : public QProcess
{
protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};

} // namespace

TEST_F(ConvertWorker, SignalsThatComeTogetherNeverLeaveTheUnfinishedFile)
{
    LocalVoice v = installVoice("en_signals", {0});
    std::vector<std::string> sentences(20000, "This sentence keeps the conversion worker busy for a while.");
    const QByteArray request = requestBytes(v, 1.0f, sentences, pathToUtf8(tmp.path() / "out.wav"));
    // Two signals at once: to the worker and to its group (as `timeout` sends
    // them), or twice to the worker; each way many times, for a race to show.
    struct Way
    {
        const char* what;
        std::function<void(pid_t)> send;
    };
    const Way ways[] = {
        {"worker, then its group",
         [](pid_t pid) {
             ::kill(pid, SIGTERM);
             ::kill(-pid, SIGTERM);
         }},
        {"worker twice",
         [](pid_t pid) {
             ::kill(pid, SIGTERM);
             ::kill(pid, SIGTERM);
         }},
        {"a burst",
         [](pid_t pid) {
             for (int i = 0; i < 8; ++i)
                 ::kill(i % 2 ? -pid : pid, i % 3 ? SIGTERM : SIGINT);
         }},
    };
    for (const Way& way : ways) {
        int left = 0;
        for (int run = 0; run < 16; ++run) {
            GroupLeader p;
            p.start(testutil::binDir() + "/salvormithe", {"--convert"});
            ASSERT_TRUE(p.waitForStarted(testutil::hangLimitMs));
            p.write(request);
            const pid_t pid = pid_t(p.processId());
            fs::path part = SpeechWav::partPath(pathToUtf8(tmp.path() / "out.wav"), long(pid));
            // The signals come while the file grows.
            ASSERT_TRUE(testutil::waitFor(
                [&] {
                    std::error_code ec;
                    return fs::file_size(part, ec) > 1024 * 1024 && !ec;
                },
                testutil::hangLimitMs))
                << way.what;
            way.send(pid);
            ASSERT_TRUE(p.waitForFinished(testutil::hangLimitMs)) << way.what;
            EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << way.what;
            if (fs::exists(fs::symlink_status(part))) {
                ++left;
                fs::remove(part);
            }
        }
        EXPECT_EQ(left, 0) << way.what << ": unfinished files left in 16 runs";
        EXPECT_FALSE(fs::exists(tmp.path() / "out.wav")) << way.what;
    }
}

TEST_F(ConvertWorker, SpeechRatesGiveClearlyDifferentDurations)
{
    LocalVoice v = installVoice("en_rates", {0});
    std::vector<std::string> text = {"A rate of one is the normal speed of this voice, neither slow nor fast."};
    std::map<float, double> seconds;
    for (float rate : {0.1f, 1.0f, 2.0f}) {
        fs::path wav = tmp.path() / ("r" + std::to_string(rate) + ".wav");
        ChildResult r = runWorker(requestBytes(v, rate, text, pathToUtf8(wav)));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        Wav w = readWav(wav);
        ASSERT_TRUE(isSpeechWav(w));
        seconds[rate] = w.seconds();
    }
    // Length scales 1.45, 1.0 and 0.5.
    EXPECT_GT(seconds[0.1f], seconds[1.0f] * 1.3);
    EXPECT_LT(seconds[2.0f], seconds[1.0f] * 0.65);
}

TEST_F(ConvertWorker, AFailureKeepsWhatWasThereAndOddOutputsAreRefused)
{
    LocalVoice v = installVoice("en_keep", {0});
    auto entries = [&] { return std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()); };

    // A conversion replaces a file that was there, and leaves nothing beside it.
    fs::path wav = tmp.path() / "keep.wav";
    testutil::writeFile(wav, "old");
    ChildResult r = runWorker(requestBytes(v, 1.0f, {"The new speech replaces the old file."}, pathToUtf8(wav)));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(isSpeechWav(readWav(wav)));
    EXPECT_EQ(entries(), 1);

    // A failed one leaves the file as it was.
    testutil::writeFile(wav, "old");
    QByteArray config = testutil::readFile(v.config);
    testutil::writeFile(v.config, "{not json");
    r = runWorker(requestBytes(v, 1.0f, {"Never spoken."}, pathToUtf8(wav)));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.toStdString(), "Load failed. Invalid model config: " + pathToUtf8(v.config));
    EXPECT_EQ(testutil::readFile(wav), QByteArray("old"));
    EXPECT_EQ(entries(), 1);
    testutil::writeFile(v.config, config);

    // What is not a regular file is refused and stays as it was: a pipe (which a
    // writer would wait on for ever), a folder, a link (to a file or a device).
    fs::path target = tmp.path() / "target";
    testutil::writeFile(target, "x");
    ASSERT_EQ(::mkfifo((tmp.path() / "pipe.wav").c_str(), 0600), 0);
    fs::create_directory(tmp.path() / "folder.wav");
    fs::create_symlink(target, tmp.path() / "link.wav");
    fs::create_symlink("/dev/null", tmp.path() / "null.wav");
    struct Row
    {
        const char* name;
        fs::file_type type;
    };
    for (const Row& row : {Row{"pipe.wav", fs::file_type::fifo}, Row{"folder.wav", fs::file_type::directory},
                           Row{"link.wav", fs::file_type::symlink}, Row{"null.wav", fs::file_type::symlink}}) {
        fs::path out = tmp.path() / row.name;
        r = runWorker(requestBytes(v, 1.0f, {"Refused."}, pathToUtf8(out)));
        EXPECT_EQ(r.exitCode, 1) << row.name;
        EXPECT_EQ(r.err.toStdString(), "Create file failed. Not a regular file(" + pathToUtf8(out) + ")");
        EXPECT_EQ(fs::symlink_status(out).type(), row.type) << row.name;
    }
    EXPECT_EQ(testutil::readFile(target), QByteArray("x"));
    EXPECT_TRUE(fs::exists("/dev/null"));
    EXPECT_EQ(entries(), 6);
}

// Fixed requests whose WAVs were recorded from an earlier build of the worker
// (tests/data/convert/reference.txt: case, size, SHA-256). espeak-ng's output is
// the same in every fresh process, so any change in the bytes is a change of the
// output; a new espeak-ng release needs new references.
TEST_F(ConvertWorker, OutputOfFixedRequestsIsUnchanged)
{
    struct Case
    {
        const char* name;
        int rate;
        const char* espeak;
        int speakers;
        int spk;
        float srate;
        std::vector<std::string> sentences;
    };
    const std::vector<Case> cases = {
        {"plain", 22050, "en-us", 1, 0, 1.0f,
         {"Hello from the conversion worker.", "It speaks 2 sentences, with numbers like 1999."}},
        {"resampled", 16000, "en-us", 1, 0, 0.5f, {"A voice at sixteen kilohertz is resampled twice."}},
        {"high_rate", 44100, "en-us", 1, 0, 1.3f, {"Forty-four point one kilohertz."}},
        {"speaker", 22050, "en-us", 4, 2, 2.0f, {"Speaker two speaks faster, with a variant."}},
        {"by_language", 22050, "en-gb", 2, 1, 1.0f, {"Colour, flavour and honour."}},
        {"german", 22050, "de", 1, 0, 0.8f, {"Guten Tag, wie geht es Ihnen?"}},
    };
    std::map<std::string, std::pair<qint64, QByteArray>> reference;
    {
        QFile f(QString::fromUtf8(std::getenv("QV_TEST_DATA")) + "/convert/reference.txt");
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        for (const QByteArray& line : f.readAll().split('\n')) {
            QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() == 3)
                reference[fields[0].toStdString()] = {fields[1].toLongLong(), fields[2]};
        }
    }
    for (const Case& c : cases) {
        std::string uid = std::string("ref_") + c.name;
        installVoice(uid, {c.spk}, c.rate, c.espeak, c.speakers);
        LocalVoice v;
        ASSERT_TRUE(findInstalledVoice(uid, c.spk, v)) << c.name;
        fs::path wav = tmp.path() / (uid + ".wav");
        ChildResult r = runWorker(requestBytes(v, c.srate, c.sentences, pathToUtf8(wav)));
        ASSERT_EQ(r.exitCode, 0) << c.name << ": " << r.err.toStdString();
        QByteArray bytes = testutil::readFile(wav);
        ASSERT_EQ(reference.count(c.name), 1u) << c.name;
        EXPECT_EQ(bytes.size(), reference[c.name].first) << c.name;
        EXPECT_EQ(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(), reference[c.name].second)
            << c.name;
    }
}

TEST(ConvertRequest, BytesOnTheWire)
{
    LocalVoice v;
    v.uid = "u\"1";
    v.spk = 3;
    QByteArray req = requestBytes(v, 0.5f, {"a", "é"}, "/x/y.wav");
    int32_t n;
    memcpy(&n, req.constData(), 4);
    EXPECT_EQ(n, req.size() - 4);
    EXPECT_EQ(req.mid(4).toStdString(),
              R"({ "voice_uid": "u\"1", "voice_spk": 3, "srate": 0.5, "wav": "\/x\/y.wav", "sentences": [ "a", "é" ] })");
}

TEST(ConvertRequest, EveryRateThePagesOfferIsAccepted)
{
    LocalVoice v;
    v.uid = "u";
    // The sliders' values from 0.1 to 2.0 in steps of 0.1, as a stepping slider
    // and as the rounding of the settings form compute them.
    for (int k = 1; k <= 20; ++k) {
        for (double value : {0.1 + (k - 1) * 0.1, k * 0.1, k / 10.0}) {
            std::string bytes = ConvertRequest::make(v, float(value), {"a"}, "/x.wav").encode();
            ConvertRequest back;
            std::string error;
            EXPECT_TRUE(ConvertRequest::decode(bytes.data() + 4, bytes.size() - 4, back, error)) << value << error;
            EXPECT_EQ(back.srate, float(value));
        }
    }
}
