<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>calidra::CImageViewer</name>
    <message>
        <source>Refresh</source>
        <translation>새로고침</translation>
    </message>
    <message>
        <extracomment>Column title; the Korean station keeps it in English.</extracomment>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <extracomment>Column title; the Korean station keeps it in English.</extracomment>
        <source>FileName</source>
        <translation>FileName</translation>
    </message>
</context>
</TS>
