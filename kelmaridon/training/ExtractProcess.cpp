#include "training/ExtractProcess.h"

#include <QRegularExpression>

ExtractProcess::ExtractProcess()
{
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                     [this]() { parse7zProgress(*this, 1, process.readAllStandardOutput()); });
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                     [this]() { parse7zProgress(*this, 2, process.readAllStandardError()); });
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &process,
                     [this](int exitCode, QProcess::ExitStatus) {
                         if (finished)
                             finished(exitCode == 0);
                     });
}

ExtractProcess::~ExtractProcess()
{
    kill();
}

void ExtractProcess::kill()
{
    progress = nullptr;
    finished = nullptr;
    process.disconnect();
    process.killGroup();
}

bool start7z(ExtractProcess& p, const QString& archive, const QString& outDir)
{
    p.errorText.clear();
    p.process.start(QStringLiteral("7z"),
                    {"x", "-aoa", "-bsp1", "-sccUTF-8", "-o" + outDir, archive},
                    QIODevice::ReadWrite);
    if (p.process.waitForStarted(500))
        return true;
    p.errorText = p.process.errorString() + "(7z)";
    return false;
}

void parse7zProgress(ExtractProcess& p, int channel, const QByteArray& data)
{
    QString text = QString::fromUtf8(data).trimmed();
    if (channel == 2) {
        p.errorText += text;
        if (p.errorText.size() > ExtractProcess::maxErrorText)
            p.errorText = p.errorText.right(ExtractProcess::maxErrorText);
        return;
    }
    static const QRegularExpression percent(QStringLiteral("(?:^|[\\r\\n]*)([\\d]+)%"));
    QRegularExpressionMatch m = percent.match(text);
    if (m.hasMatch() && p.progress)
        p.progress(m.captured(1).toInt(nullptr, 10));
}
