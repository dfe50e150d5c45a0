#pragma once

#include "common/ProjectSeg.h"
#include "platform/PiperHelper.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace exporttest {

// A segment with an id and a text, the rest left at its defaults.
inline ProjectSeg seg(int id, const std::string& text)
{
    ProjectSeg s;
    s.id = id;
    s.text = text;
    return s;
}

// A 22050 Hz mono 16-bit WAV holding a tone of the given number of samples;
// headerCount is what the header claims (the join must not trust it).
inline void writeToneWav(const std::filesystem::path& p, uint32_t samples, uint32_t headerCount,
                         double freq = 440.0)
{
    std::string data;
    data.reserve(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) {
        auto v = uint16_t(int16_t(8000 * std::sin(2 * M_PI * freq * i / 22050.0)));
        data += char(v & 0xff);
        data += char(v >> 8);
    }
    std::ofstream(p, std::ios::binary) << pp_wavheader(22050, 2, 1, headerCount) << data;
}

inline void writeToneWav(const std::filesystem::path& p, uint32_t samples)
{
    writeToneWav(p, samples, samples);
}

// Standard output of a program; exit code in *code.
inline QString run(const QString& program, const QStringList& args, int* code = nullptr)
{
    QProcess proc;
    proc.start(program, args);
    proc.waitForFinished(120000);
    if (code)
        *code = proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
    return QString::fromUtf8(proc.readAllStandardOutput());
}

inline QString q(const std::filesystem::path& p)
{
    return QString::fromStdString(p.u8string());
}

struct ProbeInfo
{
    QString codec;
    int channels = 0;
    int sampleRate = 0;
    double duration = 0;
    QString format;
};

inline ProbeInfo probe(const std::filesystem::path& p)
{
    ProbeInfo info;
    const QString out = run("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                        "stream=codec_name,channels,sample_rate:format=duration,format_name",
                                        "-of", "default=noprint_wrappers=1", q(p)});
    for (const QString& line : out.split('\n')) {
        const QString key = line.section('=', 0, 0), value = line.section('=', 1);
        if (key == "codec_name")
            info.codec = value;
        else if (key == "channels")
            info.channels = value.toInt();
        else if (key == "sample_rate")
            info.sampleRate = value.toInt();
        else if (key == "duration")
            info.duration = value.toDouble();
        else if (key == "format_name")
            info.format = value;
    }
    return info;
}

// The text of each paragraph of a document part, breaks as line feeds.
inline QStringList paragraphs(const QByteArray& xml, QString* error)
{
    QStringList out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.qualifiedName() == QLatin1String("w:p"))
            out << QString();
        else if (r.isStartElement() && r.qualifiedName() == QLatin1String("w:t"))
            out.last() += r.readElementText();
        else if (r.isStartElement() && r.qualifiedName() == QLatin1String("w:br"))
            out.last() += '\n';
        else if (r.isStartElement() && r.qualifiedName() == QLatin1String("w:tab"))
            out.last() += '\t';
    }
    *error = r.hasError() ? r.errorString() : QString();
    return out;
}

} // namespace exporttest
