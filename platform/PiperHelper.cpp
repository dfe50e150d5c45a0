#include "platform/PiperHelper.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "platform/EspeakLibrary.h"
#include "platform/EspeakVoiceFile.h"
#include "platform/ResampleLibrary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// espeak-ng keeps one global state: every use goes through this mutex.
std::mutex& espeakMutex()
{
    static std::mutex m;
    return m;
}

const EspeakLibrary* espeak = nullptr; // loaded with the first voice
int espeakRate = 0;             // sample rate of espeak-ng once initialised
std::filesystem::path espeakDataFolder; // its data folder, when given
std::string espeakVoiceKey;     // the voice+variant currently selected
// The receiver of the samples of the sentence being spoken.
void* activeSink = nullptr;
void (*activeDeliver)(void*, const short*, int) = nullptr;

int onEspeakSamples(short* wav, int count, espeak_EVENT*);

// Espeak-ng variants that give the speakers of one voice different voices.
const char* const kVariants[] = {"", "f2", "m3", "f4", "m7", "f1", "m2", "f5", "m5", "f3", "m4", "m6", "m1", "m8"};
constexpr int kVariantCount = int(sizeof(kVariants) / sizeof(kVariants[0]));

// Median pitch in Hz of espeak-ng's voice at its pitch settings 0, 10, ..., 100:
// the plain voice, and the higher "f2" variant.
constexpr double kPlainPitchHz[] = {66.7, 70.8, 77.9, 83.5, 91.9, 101.2, 112.2, 123.9, 137.1, 153.9, 170.3};
constexpr double kHighPitchHz[] = {130.4, 140.0, 150.3, 163.1, 177.1, 194.4, 214.1, 237.1, 263.6, 293.7, 322.3};
constexpr const char* kHighVariant = "f2";
// Voices below this pitch use the plain voice, higher ones the high variant.
constexpr double kHighVoiceFromHz = 150.0;

// The pitch setting (0 to 100) at which a voice of the table speaks at hz.
int pitchSetting(const double (&table)[11], double hz)
{
    if (hz <= table[0])
        return 0;
    for (int i = 1; i < 11; ++i) {
        if (hz <= table[i])
            return int(std::lround(10 * (i - 1) + 10 * (hz - table[i - 1]) / (table[i] - table[i - 1])));
    }
    return 100;
}

// An espeak-ng voice name, not a path that would make espeak-ng read a file
// outside its data folder.
bool isVoiceName(const std::string& name)
{
    if (name.front() == '/' || name.find_first_of(std::string("\\\0", 2)) != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

bool isBlank(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c); });
}

} // namespace

struct PiperHelper::Impl
{
    SamplesCallback callback;
    piper::SynthesisConfig conf;
    std::string espeakVoice;
    int numSpeakers = 1;
    // The speaker's own pitch and pace, when the configuration carries them.
    std::optional<double> pitchHz;
    double speakingRate = 1.0;
    bool loaded = false;
    int total = 0;
    std::string error;
    const ResampleLibrary* av = nullptr; // only when the voice's rate differs from espeak-ng's
    SwrContext* swr = nullptr;
    std::vector<short> block;

    ~Impl()
    {
        if (av)
            av->freeContext(&swr);
    }

    std::string voiceKey() const
    {
        if (pitchHz)
            return *pitchHz > kHighVoiceFromHz ? espeakVoice + "+" + kHighVariant : espeakVoice;
        int spk = int(conf.speakerId.value_or(0));
        if (numSpeakers <= 1 || spk <= 0)
            return espeakVoice;
        const char* variant = kVariants[spk % kVariantCount];
        return *variant ? espeakVoice + "+" + variant : espeakVoice;
    }

    int pitch() const
    {
        if (pitchHz)
            return *pitchHz > kHighVoiceFromHz ? pitchSetting(kHighPitchHz, *pitchHz)
                                               : pitchSetting(kPlainPitchHz, *pitchHz);
        int spk = int(conf.speakerId.value_or(0));
        if (numSpeakers <= 1 || spk <= 0)
            return 50;
        // Beyond the variant list, speakers differ by pitch too.
        return 50 + ((spk / kVariantCount) % 5) * 8 - 16;
    }

    // A language code that names no voice file ("en-gb"): the voices of that
    // language, best first, by file name with the speaker's variant.
    // MBROLA voices need programs that are not there.
    bool selectByLanguage()
    {
        espeak_VOICE wanted;
        std::memset(&wanted, 0, sizeof wanted);
        wanted.languages = espeakVoice.c_str();
        const espeak_VOICE** list = espeak->listVoices(&wanted);
        std::string key = voiceKey();
        std::string variant = key.size() > espeakVoice.size() ? key.substr(espeakVoice.size()) : std::string();
        for (int i = 0; list && list[i]; ++i) {
            const char* id = list[i]->identifier;
            if (!id || std::strncmp(id, "mb/", 3) == 0)
                continue;
            if (espeak->setVoiceByName((id + variant).c_str()) == EE_OK)
                return true;
        }
        return false;
    }

    // The voice's file found by name without espeak-ng reading every voice file.
    // espeak-ng lowers the case of the path it is given, so the file goes by a
    // name without capitals: its descriptor's.
    bool selectByFile(const std::string& key)
    {
        if (espeakDataFolder.empty())
            return false;
        std::filesystem::path file = findEspeakVoiceFile(espeakDataFolder, espeakVoice);
        if (file.empty())
            return false;
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        std::string path = "/proc/self/fd/" + std::to_string(fd) + key.substr(espeakVoice.size());
        // espeak-ng keeps at most 59 bytes of it.
        bool ok = path.size() < 60 && espeak->setVoiceByFile(path.c_str()) == EE_OK;
        ::close(fd);
        return ok;
    }

    bool selectVoice()
    {
        std::string key = voiceKey();
        if (key == espeakVoiceKey)
            return true;
        if (!selectByFile(key) && espeak->setVoiceByName(key.c_str()) != EE_OK && !selectByLanguage()) {
            espeakVoiceKey.clear();
            error = formatString("espeak-ng has no voice \"%s\".", key.c_str());
            return false;
        }
        espeakVoiceKey = key;
        return true;
    }

    void deliver(const short* samples, int count)
    {
        if (count <= 0)
            return;
        if (!swr) {
            block.assign(samples, samples + count);
        } else {
            int cap = av->getOutSamples(swr, count);
            block.resize(size_t(std::max(cap, 0)));
            const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
            uint8_t* out[1] = {reinterpret_cast<uint8_t*>(block.data())};
            int n = cap > 0 ? av->convert(swr, out, cap, in, count) : 0;
            block.resize(size_t(std::max(n, 0)));
        }
        emit();
    }

    void flush()
    {
        if (!swr)
            return;
        int cap = av->getOutSamples(swr, 0);
        if (cap <= 0)
            return;
        block.resize(size_t(cap));
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(block.data())};
        int n = av->convert(swr, out, cap, nullptr, 0);
        block.resize(size_t(std::max(n, 0)));
        emit();
    }

    void emit()
    {
        if (block.empty())
            return;
        total += int(block.size());
        if (callback)
            callback(block);
    }
};

namespace {

int onEspeakSamples(short* wav, int count, espeak_EVENT*)
{
    if (activeSink && activeDeliver && wav && count > 0)
        activeDeliver(activeSink, wav, count);
    return 0;
}

} // namespace

PiperHelper::PiperHelper() : d(std::make_unique<Impl>()) {}

PiperHelper::~PiperHelper() = default;

bool PiperHelper::load(const RunConfig& config, SamplesCallback callback)
{
    d = std::make_unique<Impl>();
    d->callback = std::move(callback);

    std::error_code ec;
    if (!fs::is_regular_file(config.modelPath, ec)) {
        d->error = formatString("Model file not found: %s", config.modelPath.u8string().c_str());
        return false;
    }
    if (FILE* f = std::fopen(config.modelPath.c_str(), "rb")) {
        std::fclose(f);
    } else {
        d->error = formatString("Cannot read model file: %s", config.modelPath.u8string().c_str());
        return false;
    }
    std::string text;
    if (!readWholeFile(config.modelConfigPath, text)) {
        d->error = formatString("Cannot read model config: %s", config.modelConfigPath.u8string().c_str());
        return false;
    }
    JsonRef doc = JsonRef::parse(text);
    if (!doc.isObject()) {
        d->error = formatString("Invalid model config: %s", config.modelConfigPath.u8string().c_str());
        return false;
    }

    piper::SynthesisConfig& c = d->conf;
    JsonRef rate = doc.get("audio").get("sample_rate");
    c.sampleRate = rate.isNull() ? 22050 : rate.toInt();
    if (c.sampleRate < 8000 || c.sampleRate > 192000) {
        d->error = formatString("Unsupported sample rate %d in %s", c.sampleRate,
                                config.modelConfigPath.u8string().c_str());
        return false;
    }
    d->espeakVoice = doc.get("espeak").get("voice").toString();
    if (d->espeakVoice.empty())
        d->espeakVoice = "en-us";
    if (!isVoiceName(d->espeakVoice)) {
        d->error = formatString("Invalid espeak-ng voice \"%s\" in %s", d->espeakVoice.c_str(),
                                config.modelConfigPath.u8string().c_str());
        return false;
    }
    JsonRef speakers = doc.get("num_speakers");
    d->numSpeakers = speakers.isNull() ? 1 : std::max(1, speakers.toInt());
    JsonRef speech = doc.get("speech");
    double hz = speech.get("pitch_hz").toDouble();
    if (std::isfinite(hz) && hz > 0)
        d->pitchHz = hz;
    double pace = speech.get("speaking_rate").toDouble();
    if (std::isfinite(pace) && pace > 0)
        d->speakingRate = pace;
    JsonRef inference = doc.get("inference");
    if (!inference.get("noise_scale").isNull())
        c.noiseScale = float(inference.get("noise_scale").toDouble());
    if (!inference.get("length_scale").isNull())
        c.lengthScale = float(inference.get("length_scale").toDouble());
    if (!inference.get("noise_w").isNull())
        c.noiseW = float(inference.get("noise_w").toDouble());
    if (config.noiseScale)
        c.noiseScale = *config.noiseScale;
    if (config.lengthScale)
        c.lengthScale = *config.lengthScale;
    if (config.noiseW)
        c.noiseW = *config.noiseW;
    if (config.sentenceSilenceSeconds)
        c.sentenceSilenceSeconds = *config.sentenceSilenceSeconds;
    if (!std::isfinite(c.lengthScale) || c.lengthScale <= 0)
        c.lengthScale = 1.0f;
    if (!std::isfinite(c.sentenceSilenceSeconds) || c.sentenceSilenceSeconds < 0 || c.sentenceSilenceSeconds > 10)
        c.sentenceSilenceSeconds = 0.2f;
    if (d->numSpeakers > 1 && config.speakerId) {
        if (*config.speakerId < 0 || *config.speakerId >= d->numSpeakers) {
            d->error = formatString("Speaker %lld is out of range: the voice has %d speakers.",
                                    static_cast<long long>(*config.speakerId), d->numSpeakers);
            return false;
        }
        c.speakerId = config.speakerId;
    }

    std::lock_guard<std::mutex> lock(espeakMutex());
    if (!espeak) {
        espeak = EspeakLibrary::get(d->error);
        if (!espeak)
            return false;
    }
    if (espeakRate <= 0) {
        std::string dataPath = config.eSpeakDataPath ? config.eSpeakDataPath->u8string() : std::string();
        int r = espeak->initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, dataPath.empty() ? nullptr : dataPath.c_str(),
                                   espeakINITIALIZE_DONT_EXIT);
        if (r <= 0) {
            d->error = formatString("Cannot initialize espeak-ng (data folder %s).", dataPath.c_str());
            return false;
        }
        espeakRate = r;
        espeakDataFolder = dataPath.empty() ? std::filesystem::path() : *config.eSpeakDataPath;
        espeak->setSynthCallback(onEspeakSamples);
    }
    if (!d->selectVoice())
        return false;
    if (c.sampleRate != espeakRate) {
        d->av = ResampleLibrary::get(d->error);
        if (!d->av)
            return false;
        AVChannelLayout mono;
        d->av->channelLayoutDefault(&mono, 1);
        if (d->av->allocSetOpts2(&d->swr, &mono, AV_SAMPLE_FMT_S16, c.sampleRate, &mono, AV_SAMPLE_FMT_S16,
                                 espeakRate, 0, nullptr) < 0 ||
            !d->swr || d->av->init(d->swr) < 0) {
            d->error = "Cannot set up the resampler.";
            return false;
        }
    }
    d->loaded = true;
    return true;
}

bool PiperHelper::update(const std::string& sentence)
{
    if (!d->loaded) {
        d->error = "No voice loaded.";
        return false;
    }
    if (isBlank(sentence))
        return true;
    std::lock_guard<std::mutex> lock(espeakMutex());
    if (!d->selectVoice())
        return false;
    int rate = int(std::lround(espeakRATE_NORMAL * d->speakingRate / double(d->conf.lengthScale)));
    espeak->setParameter(espeakRATE, std::clamp(rate, espeakRATE_MINIMUM, espeakRATE_MAXIMUM), 0);
    espeak->setParameter(espeakPITCH, d->pitch(), 0);
    activeSink = d.get();
    activeDeliver = [](void* sink, const short* s, int n) { static_cast<Impl*>(sink)->deliver(s, n); };
    espeak_ERROR err = espeak->synth(sentence.c_str(), sentence.size() + 1, 0, POS_CHARACTER, 0,
                                     espeakCHARS_UTF8, nullptr, nullptr);
    activeSink = nullptr;
    activeDeliver = nullptr;
    d->flush();
    if (err != EE_OK) {
        d->error = formatString("espeak-ng failed to speak (error %d).", int(err));
        return false;
    }
    // Silence after each sentence, as the voice's sentences are joined.
    std::vector<short> silence(size_t(d->conf.sentenceSilenceSeconds * d->conf.sampleRate), 0);
    if (!silence.empty()) {
        d->block = std::move(silence);
        d->emit();
    }
    return true;
}

int PiperHelper::totalSamples() const
{
    return d->total;
}

const std::string& PiperHelper::lastErr() const
{
    return d->error;
}

piper::SynthesisConfig PiperHelper::voiceConf() const
{
    return d->conf;
}

std::string pp_wavheader(int sampleRate, int sampleWidth, int channels, unsigned sampleCount)
{
    auto put32 = [](std::string& s, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s += char((v >> (8 * i)) & 0xff);
    };
    auto put16 = [](std::string& s, uint16_t v) {
        s += char(v & 0xff);
        s += char(v >> 8);
    };
    uint64_t bytes = uint64_t(sampleCount) * uint64_t(std::max(sampleWidth, 0)) * uint64_t(std::max(channels, 0));
    uint32_t dataBytes = uint32_t(std::min<uint64_t>(bytes, 0xFFFFFFFFull - 36));
    std::string h;
    h.reserve(44);
    h += "RIFF";
    put32(h, 36 + dataBytes);
    h += "WAVE";
    h += "fmt ";
    put32(h, 16);
    put16(h, 1);
    put16(h, uint16_t(channels));
    put32(h, uint32_t(sampleRate));
    put32(h, uint32_t(sampleRate) * uint32_t(sampleWidth) * uint32_t(channels));
    put16(h, uint16_t(sampleWidth * channels));
    put16(h, uint16_t(sampleWidth * 8));
    h += "data";
    put32(h, dataBytes);
    return h;
}
