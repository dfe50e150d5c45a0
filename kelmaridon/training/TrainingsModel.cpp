#include "training/TrainingsModel.h"

#include "common/FileUtils.h"
#include "common/FolderRemover.h"
#include "common/MessageBoxContext.h"
#include "common/MyItemModel.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>

TrainingsModel::TrainingsModel(QObject* parent) : QObject(parent)
{
    itemModel = new MyItemModel(this);
    itemModel->roles = {"idx", "tpath", "name", "lang", "epochs", "modified"};
    itemModel->rowCountFn = [this]() { return int(trainings.size()); };
    itemModel->dataFn = [this](int row, int role, const QString& roleName) { return itemData(row, role, roleName); };
    remover = new FolderRemover(this);
    connect(remover, &FolderRemover::busyChanged, this, &TrainingsModel::isRemovingChanged);
    invoker.post([this]() { load(); }, guiThread());
}

TrainingsModel::~TrainingsModel()
{
    // The views let go of the rows before the rows go.
    delete itemModel;
    itemModel = nullptr;
}

QAbstractItemModel* TrainingsModel::trainingsItemModel()
{
    return itemModel;
}

void TrainingsModel::load()
{
    QDir root(QString::fromStdString(pathToUtf8(trainingRoot())));
    trainings.clear();
    const QFileInfoList folders = root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time);
    for (const QFileInfo& info : folders) {
        TrainingRecord record;
        if (!record.read(info.absoluteFilePath().toStdString()))
            continue;
        // Trainings from before the language was kept learn it while their recording still tells it.
        record.keepLang();
        trainings.push_back({record.dir, record.name(), record.recordingLang().native,
                             record.epochs() - record.initEpochs(), record.modifiedTime()});
    }
    itemModel->updateReset();
}

QVariant TrainingsModel::itemData(int row, int role, const QString& roleName) const
{
    if (row < 0 || row >= int(trainings.size()) || role < 0 || role > 5)
        return QVariant();
    const Row& t = trainings[size_t(row)];
    if (roleName == QLatin1String("idx"))
        return row;
    if (roleName == QLatin1String("tpath"))
        return QString::fromStdString(t.dir);
    if (roleName == QLatin1String("name"))
        return QString::fromStdString(t.name);
    if (roleName == QLatin1String("lang"))
        return QString::fromStdString(t.lang);
    if (roleName == QLatin1String("epochs"))
        return t.epochs;
    if (roleName == QLatin1String("modified"))
        return QDateTime::fromSecsSinceEpoch(t.modified).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return QVariant();
}

void TrainingsModel::removeTraining(int idx)
{
    if (idx < 0 || idx >= int(trainings.size()))
        return;
    // The box may be answered after other rows went: the training is found again by its folder.
    std::string folder = trainings[size_t(idx)].dir;
    showMsgboxYesNo(MessageBoxContext::instance(), QString(), tr("IDS_CONFIRM_REMOVE_TRAINING"),
                    MessageBoxContext::guarded(this, [this, folder]() { removeWorker(folder); }), nullptr,
                    MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void TrainingsModel::removeWorker(const std::string& folder)
{
    auto isIt = [folder](const Row& t) { return t.dir == folder; };
    if (std::none_of(trainings.begin(), trainings.end(), isIt))
        return;
    // A folder already gone just leaves the list.
    remover->remove(utf8ToPath(folder), [this, isIt](const std::string& error) {
        if (!error.empty()) {
            showMsgboxOk(MessageBoxContext::instance(), QString(), QString::fromLocal8Bit(error.c_str()), nullptr,
                         MessageBoxContext::Alert, tr("OK"));
            return;
        }
        itemModel->removeRowWhere(trainings, isIt);
    });
}

bool TrainingsModel::getIsRemoving() const
{
    return remover->busy();
}

void TrainingsModel::close()
{
    remover->close([this]() { emit toClose(); });
}
