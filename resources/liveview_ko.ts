<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>calidra::CLiveViewerCtrl</name>
    <message>
        <source>Normal</source>
        <comment>temperature mode</comment>
        <translation>일반용</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>자동보정</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>수동보정</translation>
    </message>
    <message>
        <source>Normal</source>
        <comment>font size</comment>
        <translation>보통</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>크게</translation>
    </message>
    <message>
        <source>Only Sound</source>
        <translation>소리만</translation>
    </message>
    <message>
        <source>Sound &amp; Capture</source>
        <translation>소리 &amp; 캡쳐</translation>
    </message>
    <message>
        <source>Max Temp.</source>
        <translation>최대온도</translation>
    </message>
    <message>
        <source>Min Temp.</source>
        <translation>최소온도</translation>
    </message>
</context>
</TS>
