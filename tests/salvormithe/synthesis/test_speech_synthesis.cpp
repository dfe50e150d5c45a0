#include "SynthesisFixture.h"

#include "Pitch.h"

#include "common/FileUtils.h"
#include "platform/EspeakVoiceFile.h"
#include "platform/PiperHelper.h"
#include "synthesis/SpeechSynthesis.h"
#include "synthesis/SpeechWav.h"
#include "synthesis/WavResampler.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fs = std::filesystem;
using namespace synthtest;

namespace {

struct Outcome
{
    int calls = 0;
    bool ok = false;
    std::string message;
    double seconds = -1;
};

Outcome synth(const LocalVoice& voice, float rate, const std::vector<std::string>& sentences, const fs::path& out)
{
    Outcome o;
    synthesizeToWav(voice, rate, sentences, pathToUtf8(out), [&o](bool ok, std::string msg, double secs) {
        ++o.calls;
        o.ok = ok;
        o.message = msg;
        o.seconds = secs;
    });
    return o;
}

const std::vector<std::string> kText = {"The quick brown fox jumps over the lazy dog.",
                                        "Speech synthesis turns text into sound."};

class Synthesis : public ::testing::Test
{
protected:
    void TearDown() override { fs::remove_all(voicesDir()); }
    testutil::TempDir tmp;
};

} // namespace

TEST_F(Synthesis, WritesAudibleSpeechWav)
{
    LocalVoice v = installVoice("en_a", {0});
    ASSERT_FALSE(v.uid.empty());
    Outcome o = synth(v, 1.0f, kText, tmp.path() / "a.wav");
    ASSERT_TRUE(o.ok) << o.message;
    EXPECT_EQ(o.calls, 1);
    EXPECT_EQ(o.message, "");
    Wav w = readWav(tmp.path() / "a.wav");
    EXPECT_TRUE(isSpeechWav(w));
    EXPECT_GT(w.seconds(), 2.0);
    EXPECT_LT(w.seconds(), 15.0);
    EXPECT_NEAR(o.seconds, w.seconds(), 1e-9);
    EXPECT_GT(w.rms(), 500.0);
    EXPECT_DOUBLE_EQ(SpeechWav::secondsOfFile(tmp.path() / "a.wav"), o.seconds);
}

TEST_F(Synthesis, SentencesFollowEachOtherInOrder)
{
    LocalVoice v = installVoice("en_b", {0});
    ASSERT_TRUE(synth(v, 1.0f, {"Yes."}, tmp.path() / "one.wav").ok);
    ASSERT_TRUE(synth(v, 1.0f, {kText[1]}, tmp.path() / "two.wav").ok);
    ASSERT_TRUE(synth(v, 1.0f, {"Yes.", kText[1]}, tmp.path() / "both.wav").ok);
    Wav one = readWav(tmp.path() / "one.wav");
    Wav two = readWav(tmp.path() / "two.wav");
    Wav both = readWav(tmp.path() / "both.wav");
    ASSERT_GT(both.samples.size(), one.samples.size());
    EXPECT_NEAR(double(both.samples.size()), double(one.samples.size() + two.samples.size()), 0.01 * both.samples.size());
    // The first sentence opens the file: the exact silence after it ends where the
    // first sentence alone ends (espeak-ng varies by a few samples from run to run),
    // joined by the quiet start of the second.
    size_t run = 0, gapEnd = 0;
    for (size_t i = 0; i < both.samples.size() && !gapEnd; ++i) {
        run = both.samples[i] == 0 ? run + 1 : 0;
        if (run >= 4000 && (i + 1 == both.samples.size() || both.samples[i + 1] != 0))
            gapEnd = i + 1;
    }
    EXPECT_GT(double(gapEnd), one.samples.size() * 0.99);
    EXPECT_LT(double(gapEnd), one.samples.size() + 2205.0);
    Wav rest;
    rest.rate = 22050;
    rest.samples.assign(both.samples.begin() + gapEnd, both.samples.end());
    EXPECT_NEAR(rest.seconds(), two.seconds(), 0.1);
    EXPECT_GT(rest.rms(), 500.0);
}

TEST_F(Synthesis, EmptyListGivesHeaderOnly)
{
    LocalVoice v = installVoice("en_c", {0});
    Outcome o = synth(v, 1.0f, {}, tmp.path() / "empty.wav");
    ASSERT_TRUE(o.ok) << o.message;
    EXPECT_EQ(o.seconds, 0.0);
    Wav w = readWav(tmp.path() / "empty.wav");
    EXPECT_TRUE(isSpeechWav(w));
    EXPECT_EQ(w.fileSize, 44);
}

TEST_F(Synthesis, OtherSampleRatesAreResampledWithTheirTail)
{
    LocalVoice v22 = installVoice("en_22k", {0});
    LocalVoice v16 = installVoice("en_16k", {0}, 16000);
    Outcome o22 = synth(v22, 1.0f, kText, tmp.path() / "22.wav");
    Outcome o16 = synth(v16, 1.0f, kText, tmp.path() / "16.wav");
    ASSERT_TRUE(o16.ok) << o16.message;
    Wav w22 = readWav(tmp.path() / "22.wav");
    Wav w16 = readWav(tmp.path() / "16.wav");
    // The header counts the samples written at 22050 Hz, not the voice's own count.
    EXPECT_TRUE(isSpeechWav(w16));
    EXPECT_NEAR(o16.seconds, w16.seconds(), 1e-9);
    // Same speech through two conversions: the lengths agree to a few milliseconds.
    EXPECT_NEAR(w16.seconds(), w22.seconds(), 0.01);
    EXPECT_GT(w16.rms(), 500.0);
}

TEST_F(Synthesis, SpeechRateToLengthScale)
{
    EXPECT_EQ(lengthScaleForRate(1.0f).value(), 1.0f);
    EXPECT_FLOAT_EQ(lengthScaleForRate(0.1f).value(), 1.45f);
    EXPECT_FLOAT_EQ(lengthScaleForRate(0.5f).value(), 1.25f);
    EXPECT_FLOAT_EQ(lengthScaleForRate(2.0f).value(), 0.5f);
    EXPECT_FLOAT_EQ(lengthScaleForRate(1.5f).value(), 0.75f);
    EXPECT_FALSE(lengthScaleForRate(std::nanf("")).has_value());

    LocalVoice v = installVoice("en_rate", {0});
    std::vector<std::string> text = {kText[0]};
    ASSERT_TRUE(synth(v, 0.5f, text, tmp.path() / "slow.wav").ok);
    ASSERT_TRUE(synth(v, 1.0f, text, tmp.path() / "normal.wav").ok);
    ASSERT_TRUE(synth(v, 2.0f, text, tmp.path() / "fast.wav").ok);
    double slow = readWav(tmp.path() / "slow.wav").seconds();
    double normal = readWav(tmp.path() / "normal.wav").seconds();
    double fast = readWav(tmp.path() / "fast.wav").seconds();
    EXPECT_GT(slow, normal * 1.15);
    EXPECT_LT(fast, normal * 0.7);
}

TEST_F(Synthesis, SpeakersOfOneVoiceSoundDifferent)
{
    installVoice("multi", {0, 1, 2}, 22050, "en-us", 4);
    LocalVoice s0, s1, s2;
    ASSERT_TRUE(findInstalledVoice("multi", 0, s0));
    ASSERT_TRUE(findInstalledVoice("multi", 1, s1));
    ASSERT_TRUE(findInstalledVoice("multi", 2, s2));
    ASSERT_TRUE(synth(s0, 1.0f, kText, tmp.path() / "s0.wav").ok);
    ASSERT_TRUE(synth(s1, 1.0f, kText, tmp.path() / "s1.wav").ok);
    ASSERT_TRUE(synth(s2, 1.0f, kText, tmp.path() / "s2.wav").ok);
    Wav w0 = readWav(tmp.path() / "s0.wav");
    Wav w1 = readWav(tmp.path() / "s1.wav");
    Wav w2 = readWav(tmp.path() / "s2.wav");
    EXPECT_NE(w0.samples, w1.samples);
    EXPECT_NE(w1.samples, w2.samples);
    // A female variant: clearly more zero crossings than the default male voice.
    EXPECT_GT(w1.crossingRate(), w0.crossingRate() * 1.1);

    // A speaker the voice does not have.
    installVoice("multi", {7}, 22050, "en-us", 4);
    LocalVoice s7;
    ASSERT_TRUE(findInstalledVoice("multi", 7, s7));
    Outcome o = synth(s7, 1.0f, kText, tmp.path() / "s7.wav");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.message.rfind("Load failed. ", 0), 0u) << o.message;
    EXPECT_FALSE(fs::exists(tmp.path() / "s7.wav"));
}

TEST_F(Synthesis, AVoiceWithItsSpeakersPitchAndPaceSpeaksWithThem)
{
    // Trained voices carry the speaker's median pitch and pace in "speech".
    auto withSpeech = [](const std::string& uid, const std::string& speech) {
        LocalVoice v = installVoice(uid, {0});
        std::string config = testutil::readFile(v.config).toStdString();
        config.insert(config.rfind('}'), ",\"speech\":" + speech);
        testutil::writeFile(v.config, QByteArray::fromStdString(config));
        return v;
    };
    struct Case
    {
        const char* uid;
        const char* speech;
        double hz;
    };
    const Case cases[] = {{"low", R"({"pitch_hz":85})", 85},
                          {"mid", R"({"pitch_hz":120,"speaking_rate":1})", 120},
                          {"high", R"({"pitch_hz":220})", 220},
                          {"higher", R"({"pitch_hz":290})", 290}};
    for (const Case& c : cases) {
        fs::path out = tmp.path() / (std::string(c.uid) + ".wav");
        ASSERT_TRUE(synth(withSpeech(c.uid, c.speech), 1.0f, kText, out).ok) << c.uid;
        Wav w = readWav(out);
        double hz = testutil::medianPitchHz(w.samples, w.rate);
        EXPECT_NEAR(hz, c.hz, c.hz * 0.12) << c.uid;
    }

    // A faster speaker speaks the same text in less time, and the project's
    // speech rate still applies on top.
    ASSERT_TRUE(synth(withSpeech("pace1", R"({"speaking_rate":1})"), 1.0f, kText, tmp.path() / "p1.wav").ok);
    ASSERT_TRUE(synth(withSpeech("pace15", R"({"speaking_rate":1.5})"), 1.0f, kText, tmp.path() / "p15.wav").ok);
    ASSERT_TRUE(synth(withSpeech("pace15", R"({"speaking_rate":1.5})"), 0.5f, kText, tmp.path() / "p15slow.wav").ok);
    double normal = readWav(tmp.path() / "p1.wav").seconds();
    double fast = readWav(tmp.path() / "p15.wav").seconds();
    EXPECT_LT(fast, normal * 0.8);
    EXPECT_GT(readWav(tmp.path() / "p15slow.wav").seconds(), fast * 1.15);
}

TEST_F(Synthesis, LanguageCodesWithoutAVoiceOfThatNameStillSpeak)
{
    // Configurations name the language ("en-gb", "fr-fr"); espeak-ng files some
    // of them under another voice name.
    for (const std::string lang : {"en-gb", "fr-fr", "pt-pt"}) {
        std::string uid = "code_" + lang;
        installVoice(uid, {0, 1}, 22050, lang, 2);
        for (int spk : {0, 1}) {
            LocalVoice v;
            ASSERT_TRUE(findInstalledVoice(uid, spk, v));
            fs::path out = tmp.path() / (uid + std::to_string(spk) + ".wav");
            Outcome o = synth(v, 1.0f, {"Bonjour, good morning."}, out);
            ASSERT_TRUE(o.ok) << lang << " " << spk << ": " << o.message;
            Wav w = readWav(out);
            EXPECT_TRUE(isSpeechWav(w));
            EXPECT_GT(w.rms(), 500.0) << lang;
        }
    }
}

TEST_F(Synthesis, LoadFailuresLeaveNoFile)
{
    LocalVoice v = installVoice("broken", {0});
    fs::path out = tmp.path() / "x.wav";

    LocalVoice noModel = v;
    noModel.model = v.dir / "gone.onnx";
    Outcome o = synth(noModel, 1.0f, kText, out);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.calls, 1);
    EXPECT_EQ(o.message, "Load failed. Model file not found: " + pathToUtf8(noModel.model));
    EXPECT_FALSE(fs::exists(out));

    testutil::writeFile(v.config, "{not json");
    o = synth(v, 1.0f, kText, out);
    EXPECT_EQ(o.message, "Load failed. Invalid model config: " + pathToUtf8(v.config));
    EXPECT_FALSE(fs::exists(out));

    testutil::writeFile(v.config, R"({"espeak":{"voice":"xx-nonexistent"}})");
    o = synth(v, 1.0f, kText, out);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.message.rfind("Load failed. ", 0), 0u);
    EXPECT_NE(o.message.find("xx-nonexistent"), std::string::npos) << o.message;
    EXPECT_FALSE(fs::exists(out));

    // A file that was at the output path stays as it was; nothing else is left.
    testutil::writeFile(out, "old");
    fs::remove(v.config);
    o = synth(v, 1.0f, kText, out);
    EXPECT_EQ(o.message, "Load failed. Cannot read model config: " + pathToUtf8(v.config));
    EXPECT_EQ(testutil::readFile(out), QByteArray("old"));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
}

TEST_F(Synthesis, OutputThatCannotBeCreatedIsAFailure)
{
    LocalVoice v = installVoice("en_out", {0});
    fs::path folder = tmp.path() / "folder.wav";
    fs::create_directories(folder);
    Outcome o = synth(v, 1.0f, kText, folder);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.calls, 1);
    EXPECT_EQ(o.message.rfind("Create file failed. ", 0), 0u) << o.message;
    EXPECT_NE(o.message.find("(" + pathToUtf8(folder) + ")"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(folder));

    o = synth(v, 1.0f, kText, tmp.path() / "missing" / "x.wav");
    EXPECT_FALSE(o.ok);
    EXPECT_FALSE(fs::exists(tmp.path() / "missing"));
}

TEST_F(Synthesis, ArabicVoicesNeedTheDiacriticsModel)
{
    LocalVoice ar = installVoice("ar_test", {0}, 22050, "ar", 1, "ar_JO");
    EXPECT_TRUE(voiceIsArabic(ar));
    Outcome o = synth(ar, 1.0f, {"مرحبا"}, tmp.path() / "ar.wav");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.message, "Invalid tashkeelModelPath." + pathToUtf8(tashkeelModelPath()));
    EXPECT_FALSE(fs::exists(tmp.path() / "ar.wav"));

    // Other languages never look for it.
    LocalVoice de = installVoice("de_test", {0}, 22050, "de", 1, "de_DE");
    EXPECT_FALSE(voiceIsArabic(de));
    Outcome d = synth(de, 1.0f, {"Guten Tag."}, tmp.path() / "de.wav");
    EXPECT_TRUE(d.ok) << d.message;
}

TEST(WavResamplerBlocks, OneSecondBlocksThenTheRest)
{
    WavResampler r;
    std::vector<int> calls;
    auto writer = [&calls](const int16_t*, int n) { calls.push_back(n); };
    EXPECT_FALSE(r.feed(nullptr, 0, writer));
    ASSERT_TRUE(r.setup(16000, 2, 1));

    // 2.5 seconds: one one-second block in feed, the remaining 1.5 s in convertHeld.
    std::vector<int16_t> in(40000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = int16_t(8000 * std::sin(i * 0.05));
    ASSERT_TRUE(r.feed(reinterpret_cast<const uint8_t*>(in.data()), in.size() * 2, writer));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NEAR(calls[0], 22050, 64);
    ASSERT_TRUE(r.convertHeld(writer));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NEAR(calls[1], 33075, 64);
    ASSERT_TRUE(r.drain(writer));
    int total = 0;
    for (int n : calls)
        total += n;
    EXPECT_NEAR(total, 55125, 2);

    // Shorter than a second: convertHeld alone.
    calls.clear();
    ASSERT_TRUE(r.feed(reinterpret_cast<const uint8_t*>(in.data()), 8000 * 2, writer));
    EXPECT_TRUE(calls.empty());
    ASSERT_TRUE(r.convertHeld(writer));
    EXPECT_EQ(calls.size(), 1u);
}

TEST(WavResamplerBlocks, TheOutputFormatIsCopiedStraightThrough)
{
    WavResampler r;
    ASSERT_TRUE(r.setup(22050, 2, 1));
    std::vector<int16_t> in(55125), out;
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = int16_t(i * 7);
    auto writer = [&out](const int16_t* s, int n) { out.insert(out.end(), s, s + n); };
    // 2.5 seconds: one second in feed, the rest in convertHeld, every sample kept.
    ASSERT_TRUE(r.feed(reinterpret_cast<const uint8_t*>(in.data()), in.size() * 2, writer));
    EXPECT_EQ(out.size(), 22050u);
    ASSERT_TRUE(r.convertHeld(writer));
    ASSERT_TRUE(r.drain(writer));
    EXPECT_EQ(out, in);
}

TEST(EspeakVoiceFile, FoundByNameFromTheListingsAlone)
{
    testutil::TempDir tmp;
    const fs::path& d = tmp.path();
    for (const char* f : {"lang/gmw/en-US", "lang/roa/fr", "lang/eu", "voices/!v/f2", "lang/sit/twice", "voices/mb/twice",
                          "lang/zle/empty"}) {
        fs::create_directories((d / f).parent_path());
        testutil::writeFile(d / f, fs::path(f).filename() == "empty" ? "" : "name voice\nlanguage xx\n");
    }
    fs::create_directories(d / "lang/ine/folder");
    struct Row
    {
        const char* name;
        const char* file;
    };
    for (const Row& row : {Row{"en-us", "lang/gmw/en-US"}, Row{"EN-us", "lang/gmw/en-US"}, Row{"fr", "lang/roa/fr"},
                           Row{"eu", "lang/eu"}, Row{"f2", "voices/!v/f2"}, Row{"twice", ""}, Row{"empty", ""},
                           Row{"folder", ""}, Row{"gmw/en-US", ""}, Row{"en-us+f2", ""}, Row{"xx", ""}, Row{"", ""},
                           Row{"..", ""}}) {
        fs::path found = findEspeakVoiceFile(d, row.name);
        EXPECT_EQ(found, *row.file ? d / row.file : fs::path()) << row.name;
    }
    // The system's voices: a language code names a file, or espeak-ng searches.
    EXPECT_EQ(findEspeakVoiceFile(espeakDataDir(), "en-us").filename(), "en-US");
    EXPECT_EQ(findEspeakVoiceFile(espeakDataDir(), "de").filename(), "de");
    EXPECT_TRUE(findEspeakVoiceFile(espeakDataDir(), "en-gb").empty());
}

TEST(WavResamplerBlocks, UnsupportedSampleWidths)
{
    WavResampler r;
    EXPECT_FALSE(r.setup(22050, 3, 1));
    EXPECT_FALSE(r.hasContext());
    EXPECT_FALSE(r.setup(22050, 2, 0));
    EXPECT_TRUE(r.setup(22050, 4, 2));
}

TEST(SpeechWavFormat, HeaderAndLength)
{
    std::string h = SpeechWav::header(22050);
    ASSERT_EQ(h.size(), 44u);
    EXPECT_EQ(h.substr(0, 4) + h.substr(8, 8) + h.substr(36, 4), "RIFFWAVEfmt data");
    EXPECT_EQ(le32(h.data() + 4), 36u + 44100u);
    EXPECT_EQ(le32(h.data() + 24), 22050u);
    EXPECT_EQ(le32(h.data() + 28), 44100u);
    EXPECT_EQ(le16(h.data() + 32), 2);
    EXPECT_EQ(le32(h.data() + 40), 44100u);
    EXPECT_DOUBLE_EQ(SpeechWav::secondsOfSize(44 + 44100), 1.0);
    EXPECT_EQ(SpeechWav::secondsOfFile("/nonexistent/x.wav"), -1.0);
    // Never wraps around for absurd counts.
    EXPECT_EQ(le32(pp_wavheader(22050, 2, 1, 0xFFFFFFFFu).data() + 40), 0xFFFFFFFFu - 36);
}
