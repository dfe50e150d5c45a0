#include "training/TrainingModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/Platform.h"
#include "common/PropertyValue.h"
#include "training/BatchSize.h"
#include "training/Checkpoints.h"
#include "training/DatasetExport.h"
#include "training/TrainedVoice.h"
#include "training/TrainingEnvironment.h"
#include "training/TrainingFolder.h"
#include "training/TrainingModelProcess.h"
#include "training/TrainingPreProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include <algorithm>
#include <exception>

namespace fs = std::filesystem;

namespace {

constexpr int kLogChars = 1000;
constexpr int kTailLines = 8;

// The last lines of a tool's output, at most kLogChars characters.
QString lastLines(const QByteArray& output)
{
    QStringList lines = QString::fromUtf8(output).trimmed().split('\n');
    QString tail = lines.mid(std::max(0, lines.size() - kTailLines)).join('\n');
    return tail.size() > kLogChars ? tail.right(kLogChars) : tail;
}

// Stops a tool whose end nobody waits for any more, and lets it go.
template <class Tool>
void dropTool(Tool*& tool, QObject* receiver)
{
    if (!tool)
        return;
    QObject::disconnect(tool, nullptr, receiver, nullptr);
    tool->stop();
    tool->deleteLater();
    tool = nullptr;
}

bool endedCleanly(const TrainingProcess* tool)
{
    return tool->process.exitStatus() == QProcess::NormalExit && tool->process.exitCode() == 0;
}

} // namespace

TrainingModel::TrainingModel(QObject* parent) : QObject(parent)
{
    epochTimer.setInterval(1000);
    connect(&epochTimer, &QTimer::timeout, this, &TrainingModel::pollEpochs);
}

TrainingModel::~TrainingModel()
{
    // The page is gone: the tools end without a word, and a half-made voice goes with its tool.
    closing = true;
    epochTimer.stop();
    bool exporting = exportPreparing || !exportDir.empty();
    dropTools();
    worker.quit();
    worker.wait();
    // A voice the worker was building when the page went.
    if (exporting)
        clearVoiceBuildRoot();
}

void TrainingModel::dropTools()
{
    bool preprocessing = preProcess && preProcess->process.state() != QProcess::NotRunning;
    dropTool(preProcess, this);
    if (preprocessing)
        removePreprocessOutput(record.dir);
    dropTool(trainProcess, this);
    bool exporting = exportProcess && exportProcess->process.state() != QProcess::NotRunning;
    dropTool(exportProcess, this);
    if (exporting && !exportDir.empty())
        removeAll(exportDir);
}

void TrainingModel::close()
{
    if (closing)
        return;
    closing = true;
    setIsTraining(false);
    trainAfterProbe = false;
    epochTimer.stop();
    dropTools();
    exportDir.clear();
    // The probe sees the flag within 50 ms; toClose never comes from inside this call.
    quitThreadThen(&worker, [this]() { invoker.post([this]() { emit toClose(); }, guiThread()); });
}

void TrainingModel::leave()
{
    if (closing)
        return;
    if (!isTraining) {
        close();
        return;
    }
    showMsgboxYesNo(MessageBoxContext::instance(), tr("Training is running. Stop it and leave?"),
                    tr("The checkpoints saved so far are kept, and the training goes on from them when it is "
                       "started again."),
                    MessageBoxContext::guarded(this, [this]() { close(); }),
                    MessageBoxContext::guarded(this, [this]() { emit stayed(); }), MessageBoxContext::Question,
                    tr("Yes"), tr("No"));
}

void TrainingModel::setIsTraining(bool value)
{
    if (assignProperty(isTraining, value))
        emit isTrainingChanged();
}

void TrainingModel::setTrainingName(const QString& value)
{
    if (assignProperty(trainingName, value))
        emit trainingNameChanged();
}

void TrainingModel::setTrainingModifiedStr(const QString& value)
{
    if (assignProperty(trainingModifiedStr, value))
        emit trainingModifiedStrChanged();
}

void TrainingModel::setEpochs(int value)
{
    if (assignProperty(epochs, value))
        emit epochsChanged();
}

void TrainingModel::setLogs(const QString& value)
{
    if (assignProperty(logs, value))
        emit logsChanged();
}

void TrainingModel::setBatchSize(int value)
{
    if (assignProperty(batchSize, value))
        emit batchSizeChanged();
}

bool TrainingModel::enterBatchSize(const QString& text)
{
    int value = batchSizeFromText(text.toStdString());
    if (value == 0)
        return false;
    setBatchSize(value);
    return true;
}

void TrainingModel::setWithGPU(bool value)
{
    if (assignProperty(withGPU, value))
        emit withGPUChanged();
}

void TrainingModel::setIsLoading(bool value)
{
    if (assignProperty(isLoading, value))
        emit isLoadingChanged();
}

void TrainingModel::open(QString path, bool bstart)
{
    if (!record.read(path.toStdString())) {
        showMsgboxError(MessageBoxContext::instance(), QString(), QString::fromStdString(record.lastError), nullptr,
                        tr("OK"));
        emit toClose();
        return;
    }
    // A training from before the language was kept: kept now, while the recording still tells it.
    record.keepLang();
    setIsTraining(false);
    setTrainingName(QString::fromStdString(record.title()));
    setTrainingModifiedStr(
        QDateTime::fromSecsSinceEpoch(record.modifiedTime()).toLocalTime().toString("yyyy-MM-dd hh:mm:ss"));
    setLogs(QString());
    setEpochs(record.epochs() - record.initEpochs());
    if (record.batchSize() > 0) {
        setBatchSize(record.batchSize());
        setWithGPU(record.gpu() != 0);
    } else {
        probing = true;
        setIsLoading(true);
        runInWorkerThread(&worker, [this]() {
            uint64_t memory = 0;
            try {
                memory = probeGpuMemory(120000, &closing);
            } catch (const std::exception&) {
                memory = 0;
            }
            if (!closing)
                invoker.post([this, memory]() { applyDefaultBatchSize(memory); }, guiThread());
        });
    }
    if (bstart)
        invoker.post([this]() { train(); }, guiThread());
}

void TrainingModel::applyDefaultBatchSize(uint64_t gpuMemory)
{
    probing = false;
    setIsLoading(false);
    int bs = defaultBatchSize(gpuMemory, platform::physicalMemoryBytes(),
                              QThreadPool::globalInstance()->maxThreadCount());
    bool gpu = gpuMemory != 0;
    record.setGpu(gpu ? 1 : 0);
    record.setBatchSize(bs);
    record.save();
    setWithGPU(gpu);
    setBatchSize(bs);
    if (trainAfterProbe) {
        trainAfterProbe = false;
        if (isTraining)
            startRun();
    }
}

bool TrainingModel::offerInstall()
{
    if (isInstalledTenv(tenvPath()))
        return false;
    showMsgbox(MessageBoxContext::instance(), tr("The training environment is not installed."),
               tr("Please select the installation directory for the training environment, using English "
                  "characters only in the path. About 4GB of space is required."),
               MessageBoxContext::Alert,
               {MsgboxButton{MessageBoxContext::OK, tr("Select Folder"),
                             MessageBoxContext::guarded(this, [this]() { emit toInstallEnv(); })},
                MsgboxButton{MessageBoxContext::Cancel, tr("Cancel"), nullptr}});
    return true;
}

void TrainingModel::train()
{
    if (isTraining || closing)
        return;
    // Without an environment no tool can run: say so, and offer the install.
    if (offerInstall())
        return;
    setIsTraining(true);
    // The defaults of a new training come first.
    if (probing) {
        trainAfterProbe = true;
        return;
    }
    startRun();
}

void TrainingModel::startRun()
{
    currentRun.id = ++runCounter;
    currentRun.batchSize = batchSize;
    currentRun.withGpu = withGPU;
    currentRun.dir = record.dir;
    currentRun.recording = record.recording();
    currentRun.baseOn = record.baseOn();
    currentRun.preprocessRecorded = record.hasInitEpochs();
    currentRun.discard = discardNext;
    discardNext.clear();
    Run run = currentRun;
    if (run.batchSize < kMinBatchSize || run.batchSize > kMaxBatchSize) {
        reportResult(run.id, false, tr("IDS_INVALID_BATCHSIZE"));
        return;
    }
    // The manifest holds what this run trains with from its start.
    record.setBatchSize(run.batchSize);
    record.setGpu(run.withGpu ? 1 : 0);
    if (!record.save()) {
        reportResult(run.id, false, QString::fromStdString(record.lastError));
        return;
    }
    runInWorkerThread(&worker, [this, run]() { trainWorker(run); });
}

void TrainingModel::trainWorker(const Run& run)
{
    try {
        // Output without its record is from a preprocessing the window never
        // judged (a hard stop came between): it is made again.
        if (isPreprocessed(run.dir) && run.preprocessRecorded)
            prepareTraining(run);
        else
            prepareDataset(run);
    } catch (const std::exception& e) {
        reportResult(run.id, false, QString::fromLocal8Bit(e.what()));
    }
}

void TrainingModel::prepareDataset(const Run& run)
{
    std::string vlang, error;
    std::vector<int64_t> leftOut;
    if (!exportDataset(run.recording, vlang, &error, &leftOut)) {
        reportResult(run.id, false, QString::fromStdString(error));
        return;
    }
    QString lang = QString::fromStdString(vlang);
    QString skipped = leftOut.empty() ? QString() : QString::fromStdString(leftOutText(leftOut));
    invoker.post([this, id = run.id, lang, skipped]() {
        if (!skipped.isEmpty() && isCurrent(id))
            showMsgboxOk(MessageBoxContext::instance(), QString(), skipped, nullptr, MessageBoxContext::Warning, tr("OK"));
        startPreprocess(id, lang);
    }, guiThread());
}

void TrainingModel::startPreprocess(int runId, const QString& vlang)
{
    if (!isCurrent(runId))
        return;
    // Until the window has judged this preprocessing, the manifest holds no record of it.
    if (record.hasInitEpochs()) {
        record.clearEpochs();
        if (!record.save()) {
            reportResult(runId, false, QString::fromStdString(record.lastError));
            return;
        }
        setEpochs(0);
    }
    dropTool(preProcess, this);
    auto* tool = new TrainingPreProcess(this);
    preProcess = tool;
    connect(tool, &TrainingProcess::dataReady, this, [this, tool]() { showLog(tool); });
    connect(tool, &TrainingProcess::finished, this, [this, tool, runId]() { onPreprocessFinished(tool, runId); });
    QString recording = QString::fromStdString(currentRun.recording);
    QString dir = QString::fromStdString(currentRun.dir);
    if (!tool->start(vlang, recording, dir, 22050)) {
        removePreprocessOutput(currentRun.dir);
        reportResult(runId, false, "start train.preprocess failed.");
    }
}

void TrainingModel::onPreprocessFinished(TrainingPreProcess* tool, int runId)
{
    // Output of a stopped, killed or failed run is never trained on.
    QString out = QString::fromUtf8(tool->output);
    bool stopped = !isCurrent(runId);
    if (stopped || !endedCleanly(tool) || out.contains("error", Qt::CaseInsensitive)) {
        removePreprocessOutput(record.dir);
        if (!stopped)
            reportResult(runId, false, tr("IDS_TRAINING_FAILED."));
        return;
    }
    int e = record.baseOn().empty() ? 0 : checkpointEpoch(QString::fromStdString(record.baseOn()));
    record.setInitEpochs(e);
    record.setEpochs(e);
    if (!record.save()) {
        reportResult(runId, false, QString::fromStdString(record.lastError));
        return;
    }
    Run run = currentRun;
    runInWorkerThread(&worker, [this, run]() { prepareTraining(run); });
}

void TrainingModel::prepareTraining(const Run& run)
{
    // Checkpoints are read whole here, on the worker: they may be hundreds of MB.
    QString resume, err;
    bool ok = false;
    try {
        if (!run.discard.isEmpty())
            removeFile(utf8ToPath(run.discard.toStdString()));
        ok = TrainingModelProcess::prepareCheckpoints(QString::fromStdString(run.dir),
                                                      QString::fromStdString(run.baseOn), resume, err);
    } catch (const std::exception& e) {
        err = QString::fromLocal8Bit(e.what());
    }
    if (!ok) {
        reportResult(run.id, false, err);
        return;
    }
    invoker.post([this, id = run.id, resume]() { startTraining(id, resume); }, guiThread());
}

void TrainingModel::startTraining(int runId, const QString& resume)
{
    if (!isCurrent(runId))
        return;
    dropTool(trainProcess, this);
    auto* tool = new TrainingModelProcess(QString::fromStdString(currentRun.dir), this);
    trainProcess = tool;
    tool->baseCheckpoint = QString::fromStdString(record.baseOn());
    tool->batchSize = currentRun.batchSize;
    tool->withGpu = currentRun.withGpu;
    connect(tool, &TrainingProcess::dataReady, this, [this, tool]() { showLog(tool); });
    connect(tool, &TrainingProcess::finished, this, [this, tool, runId]() { onTrainFinished(tool, runId); });
    QString err;
    if (!tool->launch(resume, err)) {
        reportResult(runId, false, err);
        return;
    }
    invoker.post(
        [this, runId]() {
            if (isCurrent(runId) && trainProcess && trainProcess->process.state() != QProcess::NotRunning)
                epochTimer.start(1000);
        },
        guiThread());
}

void TrainingModel::pollEpochs()
{
    if (!trainProcess)
        return;
    int n = trainProcess->latestCheckpointEpoch();
    if (n == record.epochs())
        return;
    record.setEpochs(n);
    record.save();
    setEpochs(record.epochs() - record.initEpochs());
}

void TrainingModel::onTrainFinished(TrainingModelProcess* tool, int runId)
{
    epochTimer.stop();
    pollEpochs();
    // A stop by the user, or an end by the tool's own choice: the usual box.
    if (!isCurrent(runId) || endedCleanly(tool)) {
        showStopped();
        reportResult(runId, true, QString());
        return;
    }
    setIsTraining(false);
    const QString tail = lastLines(tool->output).toHtmlEscaped().replace('\n', "<br/>");
    const QString refused = tool->resumedFrom;
    const QString pre = QDir(QString::fromStdString(record.dir) + "/lightning_logs/pre").absolutePath();
    // Only a kept checkpoint that the tool named in its complaint is given up.
    bool keptOne = !refused.isEmpty() && QFileInfo(refused).absolutePath() == pre
                   && tool->output.contains(QFileInfo(refused).fileName().toUtf8());
    bool wroteNone = listCheckpoints(QString::fromStdString(record.dir) + "/lightning_logs/version_0/checkpoints")
                         .isEmpty();
    if (!keptOne || !wroteNone) {
        showMsgboxError(MessageBoxContext::instance(), tr("IDS_TRAINING_END!"), tail, nullptr, tr("OK"));
        return;
    }
    // The tool refused the checkpoint it was to resume from: the one before
    // it (or the base checkpoint) can carry on.
    showMsgbox(MessageBoxContext::instance(),
               tr("Training could not go on from the checkpoint %1.").arg(QFileInfo(refused).fileName()), tail,
               MessageBoxContext::Error,
               {MsgboxButton{MessageBoxContext::OK, tr("Continue from the previous checkpoint"),
                             MessageBoxContext::guarded(this, [this, refused]() { continueFromPrevious(refused); })},
                MsgboxButton{MessageBoxContext::Cancel, tr("Cancel"), nullptr}});
}

void TrainingModel::continueFromPrevious(const QString& refused)
{
    if (isTraining || closing)
        return;
    discardNext = refused;
    train();
}

void TrainingModel::reportResult(int runId, bool ok, const QString& message)
{
    invoker.post(
        [this, runId, ok, message]() {
            if (!isCurrent(runId))
                return;
            setIsTraining(false);
            if (!ok)
                showMsgboxError(MessageBoxContext::instance(), QString(), message, nullptr, tr("OK"));
        },
        guiThread());
}

void TrainingModel::stopTrain()
{
    bool wasTraining = isTraining;
    bool toolEndsRun = trainProcess && trainProcess->process.state() != QProcess::NotRunning;
    // Every step of the running pipeline is stale from here on.
    setIsTraining(false);
    trainAfterProbe = false;
    epochTimer.stop();
    if (preProcess)
        preProcess->stop();
    if (trainProcess)
        trainProcess->stop();
    // The training tool's end says so itself.
    if (wasTraining && !toolEndsRun)
        showStopped();
}

void TrainingModel::showStopped()
{
    showMsgboxOk(MessageBoxContext::instance(), QString(), tr("IDS_TRAINING_END!"), nullptr,
                 MessageBoxContext::Warning, tr("OK"));
}

void TrainingModel::showLog(const TrainingProcess* tool)
{
    QString text = QString::fromUtf8(tool->output);
    setLogs(text.size() <= kLogChars ? text : text.right(kLogChars));
}

void TrainingModel::exportVoice()
{
    // One export at a time; the page's mask covers it meanwhile.
    if (closing || exportPreparing || (exportProcess && exportProcess->process.state() != QProcess::NotRunning))
        return;
    exportPreparing = true;
    setIsLoading(true);
    const std::string name = record.name();
    runInWorkerThread(&worker, [this, name]() {
        bool clash = false;
        std::string both;
        try {
            clearVoiceBuildRoot();
            clash = !trainedVoicesNamed(name).empty();
            if (clash)
                both = keepBothName(name);
        } catch (const std::exception&) {
            clash = false;
        }
        invoker.post([this, clash, both]() { onExportNameChecked(clash, QString::fromStdString(both)); },
                     guiThread());
    });
}

void TrainingModel::onExportNameChecked(bool clash, const QString& keepBoth)
{
    if (closing) {
        exportPreparing = false;
        return;
    }
    const QString name = QString::fromStdString(record.name());
    if (!clash) {
        prepareExport(name, false);
        return;
    }
    // Two voices of one name could not be told apart where voices are picked.
    setIsLoading(false);
    showMsgbox(MessageBoxContext::instance(), QString(),
               tr("A voice named %1 already exists. Replace it, or keep both and name the new one %2?")
                   .arg(name.toHtmlEscaped(), keepBoth.toHtmlEscaped()),
               MessageBoxContext::Question,
               {MsgboxButton{MessageBoxContext::Yes, tr("Replace"),
                             MessageBoxContext::guarded(this, [this, name]() { prepareExport(name, true); })},
                MsgboxButton{MessageBoxContext::No, tr("Keep Both"),
                             MessageBoxContext::guarded(this, [this, keepBoth]() { prepareExport(keepBoth, false); })},
                MsgboxButton{MessageBoxContext::Cancel, tr("Cancel"),
                             MessageBoxContext::guarded(this, [this]() { exportPreparing = false; })}});
}

void TrainingModel::prepareExport(const QString& name, bool replace)
{
    if (closing) {
        exportPreparing = false;
        return;
    }
    setIsLoading(true);
    // The voice is built beside the store and the checkpoint read whole, on the worker.
    TrainingRecord copy = record;
    const std::string shown = name.toStdString();
    runInWorkerThread(&worker, [this, copy, shown, replace]() {
        fs::path built;
        TrainedVoicePlan plan;
        std::string error;
        bool ok = false;
        QString checkpoint;
        try {
            plan = planTrainedVoice(shown, replace, error);
            ok = !plan.uid.empty() && buildTrainedVoice(copy, plan, built, error);
            if (ok)
                checkpoint = firstUsableCheckpoint(QString::fromStdString(copy.dir),
                                                   QString::fromStdString(copy.baseOn()));
        } catch (const std::exception& e) {
            error = e.what();
            ok = false;
        }
        QString text = QString::fromLocal8Bit(error.c_str());
        invoker.post([this, ok, text, built, plan, checkpoint]() { startExport(ok, text, built, plan, checkpoint); },
                     guiThread());
    });
}

void TrainingModel::startExport(bool ok, const QString& error, const fs::path& built, const TrainedVoicePlan& plan,
                                const QString& checkpoint)
{
    exportPreparing = false;
    if (closing) {
        if (ok)
            removeAll(built);
        return;
    }
    if (!ok) {
        setIsLoading(false);
        showMsgboxError(MessageBoxContext::instance(), QString(), error, nullptr, tr("OK"));
        return;
    }
    dropTool(exportProcess, this);
    auto* tool = new TrainingProcess(1000, this);
    exportProcess = tool;
    exportDir = built;
    fs::path model = built / utf8ToPath(plan.uid + ".onnx");
    connect(tool, &TrainingProcess::dataReady, this, [this, tool]() { showLog(tool); });
    connect(tool, &TrainingProcess::finished, this, [this, built, model, plan]() { onExportFinished(built, model, plan); });
    // A tool that never starts has no finished() of its own.
    connect(&tool->process, &QProcess::errorOccurred, this, [this, built, model, plan](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            onExportFinished(built, model, plan);
    });
    QStringList args{"-m", "piper_train.export_onnx", checkpoint, QString::fromStdString(pathToUtf8(model))};
    tool->process.start(tool->python(), args, QIODevice::ReadWrite);
}

void TrainingModel::onExportFinished(const fs::path& built, const fs::path& model, const TrainedVoicePlan& plan)
{
    const TrainingProcess* tool = exportProcess;
    exportDir.clear();
    std::error_code ec;
    bool started = tool && tool->process.error() != QProcess::FailedToStart;
    bool made = started && endedCleanly(tool) && fs::is_regular_file(model, ec) && fs::file_size(model, ec) > 0 && !ec;
    QString tail;
    if (!made) {
        tail = tool ? QString::fromUtf8(tool->output).trimmed() : QString();
        if (tail.isEmpty() && tool)
            tail = tool->process.errorString();
        if (tail.size() > kLogChars)
            tail = tail.right(kLogChars);
    }
    // On the worker: the voice reaches the store whole, model and all, or, a
    // voice without its model never being listed, its build goes.
    runInWorkerThread(&worker, [this, built, plan, made, tail]() {
        std::string error;
        bool installed = made && installTrainedVoice(built, plan, error);
        if (!installed)
            removeAll(built);
        QString reason = made ? QString::fromLocal8Bit(error.c_str()) : tail;
        invoker.post(
            [this, installed, reason]() {
                setIsLoading(false);
                if (installed)
                    showMsgboxOk(MessageBoxContext::instance(), QString(), tr("IDS_EXPORT_DONE"), nullptr,
                                 MessageBoxContext::Alert, tr("OK"));
                else
                    showMsgboxError(MessageBoxContext::instance(), QString(), tr("IDS_EXPORT_FAILED") + "\n" + reason,
                                    nullptr, tr("OK"));
            },
            guiThread());
    });
}
