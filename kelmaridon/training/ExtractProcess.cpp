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
    p.pendingDigits.clear();
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
    if (channel == 2) {
        QString text = QString::fromUtf8(data).trimmed();
        p.errorText += text;
        if (p.errorText.size() > ExtractProcess::maxErrorText)
            p.errorText = p.errorText.right(ExtractProcess::maxErrorText);
        return;
    }
    // 7z rewrites its progress in place, so one chunk may hold several
    // figures: the last one is the current. Digits at the chunk's end may be
    // the start of a figure whose "%" comes in the next chunk.
    static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
    static const QRegularExpression trailingDigits(QStringLiteral("\\d{1,9}\\z"));
    const QString whole = p.pendingDigits + QString::fromUtf8(data);
    QRegularExpressionMatch last;
    for (QRegularExpressionMatchIterator it = percent.globalMatch(whole); it.hasNext();)
        last = it.next();
    p.pendingDigits = trailingDigits.match(whole).captured(0);
    if (last.hasMatch() && p.progress)
        p.progress(last.captured(1).toInt(nullptr, 10));
}
