<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>Quorvine Text to Speech Converter</source>
        <translation>Quorvine Text to Speech Converter</translation>
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
    <name>MainModel</name>
    <message>
        <source>This version of Quorvine software has become obsolete. Please download the latest version to install on your computer.</source>
        <translation>This version of Quorvine software has become obsolete. Please download the latest version to install on your computer.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Projects</source>
        <translation>Projects</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>Voices</source>
        <translation>Voices</translation>
    </message>
    <message>
        <source>Voice Cloning</source>
        <translation>Voice Cloning</translation>
    </message>
</context>
<context>
    <name>home</name>
    <message>
        <source>Home</source>
        <translation>Home</translation>
    </message>
</context>
<context>
    <name>Projects</name>
    <message>
        <source>Projects</source>
        <translation>Projects</translation>
    </message>
</context>
<context>
    <name>Project</name>
    <message>
        <source>Project</source>
        <translation>Project</translation>
    </message>
</context>
<context>
    <name>Voices</name>
    <message>
        <source>Voices</source>
        <translation>Voices</translation>
    </message>
</context>
</TS>
