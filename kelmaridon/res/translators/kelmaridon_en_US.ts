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
    <name>Training</name>
    <message>
        <source>Training</source>
        <translation>Training</translation>
    </message>
</context>
</TS>
