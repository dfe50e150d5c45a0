#include "server/DemoCatalogue.h"

#include "server/VoicePackageFile.h"

#include <json-c/json.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <cstdint>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct DemoSpeaker
{
    const char* name;
    int sex; // 1 male, 2 female
};

struct DemoVoice
{
    const char* lang;
    const char* eng;
    const char* native;
    const char* espeakVoice;
    const char* sentence;
    std::vector<DemoSpeaker> speakers;
};

const std::vector<DemoVoice>& demoVoices()
{
    static const std::vector<DemoVoice> voices = {
        {"en-us", "English", "English", "en-us", "Hello! This is a demo voice of Quorvine Text to Speech.",
         {{"Emma", 2}, {"James", 1}}},
        {"de-de", "German", "Deutsch", "de", "Hallo! Das ist eine Demostimme von Quorvine Text to Speech.",
         {{"Lena", 2}, {"Jonas", 1}}},
        {"fr-fr", "French", "Français", "fr", "Bonjour ! Ceci est une voix de démonstration de Quorvine.",
         {{"Camille", 2}, {"Louis", 1}}},
        {"es-es", "Spanish", "Español", "es", "¡Hola! Esta es una voz de demostración de Quorvine.",
         {{"Lucía", 2}, {"Mateo", 1}, {"Sofía", 2}}},
        {"zh-cn", "Chinese", "中文", "cmn", "你好！这是一个演示语音。", {{"Mei", 2}, {"Wei", 1}}},
    };
    return voices;
}

std::string uidOf(const DemoVoice& v)
{
    return std::string("demo-") + v.lang;
}

std::string jsonText(json_object* o)
{
    std::string text = json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN);
    json_object_put(o);
    return text;
}

// The header of a speaker's package: the speaker file of the voice store.
std::string speakerHeader(const DemoVoice& v, int spk)
{
    json_object* o = json_object_new_object();
    json_object_object_add(o, "uid", json_object_new_string(uidOf(v).c_str()));
    json_object_object_add(o, "spk", json_object_new_int(spk));
    json_object_object_add(o, "lang", json_object_new_string(v.lang));
    json_object_object_add(o, "eng", json_object_new_string(v.eng));
    json_object_object_add(o, "native", json_object_new_string(v.native));
    json_object_object_add(o, "name", json_object_new_string(v.speakers[size_t(spk)].name));
    json_object_object_add(o, "user_name", json_object_new_string("Quorvine"));
    json_object_object_add(o, "sex", json_object_new_int(v.speakers[size_t(spk)].sex));
    json_object_object_add(o, "quality", json_object_new_int(2));
    json_object_object_add(o, "downloaded", json_object_new_int(0));
    json_object_object_add(o, "clicked", json_object_new_int(0));
    json_object_object_add(o, "fav_amount", json_object_new_int(0));
    json_object_object_add(o, "fav_persons", json_object_new_int(0));
    return jsonText(o);
}

// The model configuration: language, sample rate and speakers.
std::string modelConfig(const DemoVoice& v)
{
    json_object* o = json_object_new_object();
    json_object* audio = json_object_new_object();
    json_object_object_add(audio, "sample_rate", json_object_new_int(22050));
    json_object_object_add(o, "audio", audio);
    json_object* espeak = json_object_new_object();
    json_object_object_add(espeak, "voice", json_object_new_string(v.espeakVoice));
    json_object_object_add(o, "espeak", espeak);
    json_object_object_add(o, "num_speakers", json_object_new_int(int(v.speakers.size())));
    json_object* ids = json_object_new_object();
    for (size_t i = 0; i < v.speakers.size(); ++i)
        json_object_object_add(ids, v.speakers[i].name, json_object_new_int(int(i)));
    json_object_object_add(o, "speaker_id_map", ids);
    return jsonText(o);
}

bool writeBytes(const fs::path& p, const std::string& bytes, std::string& error)
{
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.flush();
    if (!out) {
        error = "cannot write " + p.u8string();
        return false;
    }
    return true;
}

QString q(const fs::path& p)
{
    return QString::fromStdString(p.u8string());
}

// Runs a program to its end; false with its error output when it fails.
bool run(const QString& program, const QStringList& args, const QProcessEnvironment& env, const QByteArray& input,
         std::string& error)
{
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.start(program, args);
    if (!proc.waitForStarted(10000)) {
        error = "cannot start " + program.toStdString() + ": " + proc.errorString().toStdString();
        return false;
    }
    proc.write(input);
    proc.closeWriteChannel();
    if (!proc.waitForFinished(120000) || proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0) {
        error = program.toStdString() + " failed: " + proc.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

// Speaks the sentence with one speaker of an installed voice into a WAV file.
bool speak(const fs::path& converter, const QProcessEnvironment& env, const std::string& uid, int spk,
           const std::string& sentence, const fs::path& wav, std::string& error)
{
    json_object* req = json_object_new_object();
    json_object_object_add(req, "voice_uid", json_object_new_string(uid.c_str()));
    json_object_object_add(req, "voice_spk", json_object_new_int(spk));
    json_object_object_add(req, "srate", json_object_new_double(1.0));
    json_object_object_add(req, "wav", json_object_new_string(wav.u8string().c_str()));
    json_object* list = json_object_new_array();
    json_object_array_add(list, json_object_new_string(sentence.c_str()));
    json_object_object_add(req, "sentences", list);
    std::string body = jsonText(req);
    QByteArray input(4, '\0');
    uint32_t length = uint32_t(body.size());
    for (int i = 0; i < 4; ++i)
        input[i] = char((length >> (8 * i)) & 0xff);
    input.append(body.data(), int(body.size()));
    return run(q(converter), {"--convert"}, env, input, error);
}

} // namespace

bool DemoCatalogue::build(const fs::path& outDir, const fs::path& converter, std::string& error)
{
    std::error_code ec;
    fs::path work = outDir / ".work";
    fs::remove_all(work, ec);
    fs::create_directories(outDir / "packages", ec);
    fs::create_directories(outDir / "samples", ec);
    // A private data folder, so the demo voices never touch the user's store.
    fs::path data = work / "data";
    fs::path store = data / "quorvine_salvormithe_win" / "voices";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", q(fs::absolute(data)));

    for (const DemoVoice& v : demoVoices()) {
        const std::string uid = uidOf(v);
        const std::string model = std::string(v.lang) + "-demo.onnx";
        const std::string modelBytes = "Quorvine demo voice model " + uid + "\n";
        const std::string config = modelConfig(v);
        std::vector<VoicePackageFile::Entry> entries = {
            {uid, "", true}, {uid + "/" + model, modelBytes}, {uid + "/" + model + ".json", config}};

        fs::path voiceDir = store / uid;
        if (!writeBytes(voiceDir / model, modelBytes, error) || !writeBytes(voiceDir / (model + ".json"), config, error))
            return false;

        for (size_t spk = 0; spk < v.speakers.size(); ++spk) {
            const std::string header = speakerHeader(v, int(spk));
            const std::string stem = uid + "-spk" + std::to_string(spk);
            if (!VoicePackageFile::write(outDir / "packages" / (stem + ".orvelin"), header, entries, error))
                return false;
            if (!writeBytes(voiceDir / "speakers" / ("spk-" + std::to_string(spk) + ".json"), header, error))
                return false;

            fs::path wav = fs::absolute(work / (stem + ".wav"));
            if (!speak(converter, env, uid, int(spk), v.sentence, wav, error))
                return false;
            fs::path mp3 = outDir / "samples" / (stem + ".mp3");
            if (!run("ffmpeg",
                     {"-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i", q(wav), "-codec:a", "libmp3lame",
                      "-b:a", "64k", q(mp3)},
                     env, QByteArray(), error))
                return false;
        }
    }
    fs::remove_all(work, ec);
    return true;
}
