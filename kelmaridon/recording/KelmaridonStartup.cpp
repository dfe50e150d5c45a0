#include "recording/KelmaridonStartup.h"

#include "common/MessageBoxContext.h"
#include "common/QmlProgram.h"

#include <QtQml>

const char* KelmaridonStartup::prodName()
{
    return QT_TRANSLATE_NOOP("QObject", "Quorvine Voice Cloning");
}

void KelmaridonStartup::registerTypes() const
{
    qmlRegisterType<MessageBoxContext>("MessageBoxContext", 1, 0, "MessageBoxContext");
    if (registerHomeModel)
        registerHomeModel();
    // RecordingModel, RecordingSettingModel and RecordingDetailModel go here.
    if (registerTrainingModels)
        registerTrainingModels();
}

int KelmaridonStartup::run(int argc, char** argv) const
{
    QmlProgram program;
    program.guardKey = QStringLiteral("quorvine_kelmaridon");
    program.catalogue = QStringLiteral(":/translators/kelmaridon_en_US.qm");
    program.prodName = prodName();
    program.registerTypes = [this]() { registerTypes(); };
    return program.run(argc, argv);
}
