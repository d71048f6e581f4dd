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
        <source>Time</source>
        <translation>시간</translation>
    </message>
    <message>
        <source>FileName</source>
        <translation>파일 이름</translation>
    </message>
</context>
</TS>
