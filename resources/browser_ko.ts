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
    <message>
        <extracomment>Column title: the highest temperature of the snapshot's frame.</extracomment>
        <source>Max Temp.</source>
        <translation>최대온도</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>내보내기…</translation>
    </message>
    <message>
        <extracomment>Title of the file dialog and of the message box of the export.</extracomment>
        <source>Export alarms</source>
        <translation>알람 기록 내보내기</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 파일 (*.csv)</translation>
    </message>
    <message>
        <source>The alarms could not be exported.</source>
        <translation>알람 기록을 내보낼 수 없습니다.</translation>
    </message>
    <message>
        <extracomment>Status bar after the export: %1 the file written, %2 the number of episodes (rows).</extracomment>
        <source>Alarm episodes written to %1: %2</source>
        <translation>%1에 알람 기록 %2건을 내보냈습니다.</translation>
    </message>
</context>
</TS>
