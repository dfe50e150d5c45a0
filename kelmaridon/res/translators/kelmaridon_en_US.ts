<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>Quorvine Voice Cloning</source>
        <translation>Quorvine Voice Cloning</translation>
    </message>
    <message>
        <source>Please check your computer's microphone.</source>
        <translation>Please check your computer's microphone.</translation>
    </message>
</context>
<context>
    <name>AboutForm</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>MainHeader</name>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Training</source>
        <translation>Training</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>IDS_SELECT_TRAINING_ENV_ROOT</source>
        <translation>Please select the save path for the training environment.</translation>
    </message>
</context>
<context>
    <name>Recording</name>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
</context>
<context>
    <name>RecordingDetail</name>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
</context>
<context>
    <name>Trainings</name>
    <message>
        <source>Training</source>
        <translation>Training</translation>
    </message>
</context>
<context>
    <name>Training</name>
    <message>
        <source>Training</source>
        <translation>Training</translation>
    </message>
</context>
<context>
    <name>CreateTrainingModel</name>
    <message>
        <source>IDS_EMPTY_TRAINING_NAME</source>
        <translation>Training name can not be empty.</translation>
    </message>
    <message>
        <source>IDS_EMPTY_INVALID_RECORDING</source>
        <translation>Invalid recording.</translation>
    </message>
    <message>
        <source>IDS_EMPTY_INVALID_MODEL</source>
        <translation>Invalid model.</translation>
    </message>
    <message>
        <source>IDS_DOWNLOADING_MODEL:</source>
        <translation>Downloading model:</translation>
    </message>
</context>
<context>
    <name>TrainingsModel</name>
    <message>
        <source>IDS_CONFIRM_REMOVE_TRAINING</source>
        <translation>Confirm to delete the training?</translation>
    </message>
</context>
</TS>
