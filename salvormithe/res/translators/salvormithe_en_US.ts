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
</TS>
