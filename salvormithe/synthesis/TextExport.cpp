#include "synthesis/TextExport.h"

#include "common/FileUtils.h"
#include "common/InvokeContext.h"
#include "common/TextUtils.h"
#include "synthesis/PrintMsgsExec.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>

namespace {

const char* const htmlHead =
    "<!DOCTYPE html>\n"
    "<html lang=\"en\">\n"
    "<head>\n"
    "    <meta charset=\"UTF-8\">\n"
    "    <meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n"
    "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">";

std::string errnoText()
{
    return std::strerror(errno);
}

// A whole PDF ends with its end-of-file marker.
bool pdfComplete(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 16 || !f.seek(f.size() - 16))
        return false;
    return f.read(16).contains("%%EOF");
}

std::string imageDataUrl(const char* resource)
{
    QFile f(resource);
    QByteArray data;
    if (f.open(QIODevice::ReadOnly))
        data = f.readAll();
    return "data:image/png;base64," + data.toBase64().toStdString();
}

std::string styleSheet()
{
    std::string s = "\n"
                    "* {\n"
                    "    font-family: Arial;\n"
                    "    font-size: 12pt;\n"
                    "    color: #333333;\n"
                    "}\n"
                    "p {\n"
                    "    margin: 5px 0 5px 0;\n"
                    "}\n"
                    "a {\n"
                    "    text-decoration: none;\n"
                    "}\n"
                    ".column {\n"
                    "    display: flex;\n"
                    "    flex-direction: column;\n"
                    "}\n"
                    ".row-left {\n"
                    "    display: flex;\n"
                    "    flex-direction: row;\n"
                    "}\n"
                    ".row-center {\n"
                    "    display: flex;\n"
                    "    flex-direction: row;\n"
                    "    justify-content: center;\n"
                    "}\n"
                    ".row-right {\n"
                    "    display: flex;\n"
                    "    flex-direction: row-reverse;\n"
                    "}\n";
    s += ".bb1 {\n"
         "    padding: 10px 11px 10px 25px;\n"
         "    border-image-source: url(\"" + imageDataUrl(":/res/bb1.png") + "\");\n"
         "    border-image-slice: 19 8 8 22 fill;\n"
         "    border-image-width: 19px 8px 8px 22px;\n"
         "    border-image-repeat: stretch;\n"
         "    max-width: 80%;\n"
         "    margin: 5px 0 5px 0;\n"
         "}\n";
    s += ".bb2 {\n"
         "    padding: 10px 25px 10px 12px;\n"
         "    border-image-source: url(\"" + imageDataUrl(":/res/bb2.png") + "\");\n"
         "    border-image-slice: 19 19 8 6 fill;\n"
         "    border-image-width: 19px 19px 8px 6px;\n"
         "    border-image-repeat: stretch;\n"
         "    max-width: 80%;\n"
         "    margin: 5px 0 5px 0;\n"
         "}\n";
    s += ".round {\n"
         "    padding: 5px 7px 7px 7px;\n"
         "    border-image-source: url(\"" + imageDataUrl(":/res/round.png") + "\");\n"
         "    border-image-slice: 5 7 7 7 fill;\n"
         "    border-image-width: 5px 7px 7px 7px;\n"
         "    border-image-repeat: stretch;\n"
         "    color: #586770;\n"
         "    margin: 10px 0 0 0;\n"
         "}\n";
    return s;
}

struct Completion
{
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool ok = false;
    std::string error;
    std::atomic<bool> cancelled{false}; // the waiting job was stopped

    void set(bool result, const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ok = result;
        error = text;
        done = true;
        cv.notify_all();
    }
};

} // namespace

std::string escapeHtml(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\n': out += "<br/>"; break;
        case '\r': break;
        default: out += c; break;
        }
    }
    return out;
}

bool exportText(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                const std::string& path, bool withSpeaker, std::string& error,
                const std::atomic<bool>* stop)
{
    const auto target = utf8ToPath(path);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        error = errnoText();
        return false;
    }
    for (const ProjectSeg& seg : segs) {
        if (stop && *stop) {
            dropUnfinished(out, target);
            return false;
        }
        if (withSpeaker)
            out << cleanUtf8Text(voiceOf(seg.voice_id).name) << ":\n";
        out << cleanUtf8Text(seg.text) << "\n\n";
        if (!out)
            break;
    }
    out.flush();
    if (!out) {
        error = errnoText();
        dropUnfinished(out, target);
        return false;
    }
    return true;
}

bool exportHtml(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                const std::string& path, bool withSpeaker, std::string& error,
                const std::atomic<bool>* stop)
{
    const auto target = utf8ToPath(path);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        error = errnoText();
        return false;
    }
    if (writeHtml(out, pathToUtf8(target.filename()), segs, voiceOf, withSpeaker, error, stop))
        return true;
    dropUnfinished(out, target);
    return false;
}

bool writeHtml(std::ostream& out, const std::string& title, const std::vector<ProjectSeg>& segs,
               const VoiceLookup& voiceOf, bool withSpeaker, std::string& error,
               const std::atomic<bool>* stop)
{
    out << htmlHead;
    // Every text goes through one rule, so that the page is always UTF-8.
    auto html = [](const std::string& text) { return escapeHtml(cleanUtf8Text(text)); };
    out << "<title>" << html(title) << "</title><style>";
    out << styleSheet();
    out << "</style></head><body><div class=\"column\">";
    for (const ProjectSeg& seg : segs) {
        if (stop && *stop)
            return false;
        out << "<div class=\"row-left\"><div class=\"bb1\">";
        if (withSpeaker) {
            // Names and colours are user text: escaped like the segment text.
            const ProjectVoice voice = voiceOf(seg.voice_id);
            out << "<p style=\"text-align:left;color:" << html(voice.color) << "\">" << html(voice.name) << "</p>";
        }
        out << html(seg.text) << "</div></div>";
    }
    out << "</div></body></html>";
    out.flush();
    if (!out) {
        error = errnoText();
        return false;
    }
    return true;
}

void printMsgsToPdf(const QList<PrintMsg>& msgs, const QString& path, bool withSpeaker,
                    std::function<void(bool ok, const std::string& error)> done,
                    std::function<bool()> cancelled)
{
    auto* writer = new QPdfWriter(path);
    writer->setResolution(120);
    writer->setPageSize(QPageSize(QPageSize::A4));
    writer->setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);

    auto* exec = new PrintMsgsExec;
    exec->setup(writer, msgs, withSpeaker);
    if (cancelled) {
        QObject::connect(exec, &PrintMsgsExec::updateProgress, exec, [exec, cancelled]() {
            if (cancelled())
                exec->stop();
        });
    }
    QObject::connect(exec, &PrintMsgsExec::finished, exec,
                     [exec, writer, path, done = std::move(done), cancelled]() {
                         bool ok = exec->succeeded();
                         std::string error;
                         if (!ok) {
                             error = (exec->errorText() + "(" + path + ")").toStdString();
                         } else if (!(cancelled && cancelled()) && !pdfComplete(path)) {
                             // The writer does not report failed writes (a full disk).
                             ok = false;
                             const int e = exec->endErrno() ? exec->endErrno() : EIO;
                             error = formatString("write file failed. %s(%s)", std::strerror(e),
                                                  path.toUtf8().constData());
                             QFile::remove(path);
                         }
                         exec->deleteLater();
                         writer->deleteLater();
                         // A stopped layout is only part of the document.
                         if (cancelled && cancelled())
                             QFile::remove(path);
                         done(ok, error);
                     });
    exec->start();
}

bool exportPdf(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
               const std::string& path, bool withSpeaker, std::string* error,
               const std::atomic<bool>* stop)
{
    QList<PrintMsg> msgs;
    for (const ProjectSeg& seg : segs) {
        const ProjectVoice voice = voiceOf(seg.voice_id);
        PrintMsg m;
        m.body = QString::fromStdString(escapeHtml(cleanUtf8Text(seg.text)));
        m.baseUrl = "/";
        m.nameColor = QString::fromStdString(voice.color);
        m.name = QString::fromStdString(cleanUtf8Text(voice.name));
        m.right = false;
        msgs.append(m);
    }

    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        if (error)
            *error = "PDF export needs the application's GUI thread.";
        return false;
    }

    auto completion = std::make_shared<Completion>();
    auto done = [completion](bool ok, const std::string& text) { completion->set(ok, text); };
    const QString target = QString::fromStdString(path);

    if (QThread::currentThread() == app->thread()) {
        // Already in the GUI thread: run the layout's event-loop turns here.
        QEventLoop loop;
        printMsgsToPdf(msgs, target, withSpeaker, [&loop, done](bool ok, const std::string& text) {
            done(ok, text);
            loop.quit();
        });
        if (!completion->done)
            loop.exec();
    } else {
        auto cancelled = [completion] { return completion->cancelled.load(); };
        postToThread([msgs, target, withSpeaker, done, cancelled]() {
            if (cancelled())
                return;
            printMsgsToPdf(msgs, target, withSpeaker, done, cancelled);
        }, nullptr, app->thread());
        // The GUI thread may itself be waiting for this one (its owner
        // closing): a stop ends the wait.
        std::unique_lock<std::mutex> lock(completion->mutex);
        while (!completion->done) {
            if (stop && *stop) {
                completion->cancelled = true;
                return false;
            }
            completion->cv.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    std::lock_guard<std::mutex> lock(completion->mutex);
    if (!completion->ok && error)
        *error = completion->error;
    return completion->ok;
}
