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
    <name>TrainingModel</name>
    <message>
        <source>IDS_INVALID_BATCHSIZE</source>
        <translation>Invalid batch size.</translation>
    </message>
    <message>
        <source>IDS_TRAINING_FAILED.</source>
        <translation>Training failed.</translation>
    </message>
    <message>
        <source>IDS_TRAINING_END!</source>
        <translation>Training has stopped.</translation>
    </message>
    <message>
        <source>IDS_EXPORT_DONE</source>
        <translation>Generated voice successfully!</translation>
    </message>
    <message>
        <source>IDS_EXPORT_FAILED</source>
        <translation>Generating the voice failed.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TrainingMain</name>
    <message>
        <source>Poor</source>
        <translation>Poor</translation>
    </message>
    <message>
        <source>X-Low</source>
        <translation>X-Low</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>High</source>
        <translation>High</translation>
    </message>
    <message>
        <source>Generate Voice</source>
        <translation>Generate Voice</translation>
    </message>
    <message>
        <source>Epochs trained</source>
        <translation>Epochs trained</translation>
    </message>
    <message>
        <source>Voice quality: %1</source>
        <translation>Voice quality: %1</translation>
    </message>
</context>
<context>
    <name>TrainingControlBar</name>
    <message>
        <source>Start Training</source>
        <translation>Start Training</translation>
    </message>
    <message>
        <source>Stop Training</source>
        <translation>Stop Training</translation>
    </message>
    <message>
        <source>Batch Size:</source>
        <translation>Batch Size:</translation>
    </message>
    <message>
        <source>GPU</source>
        <translation>GPU</translation>
    </message>
</context>
</TS>
