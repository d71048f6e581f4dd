<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>calidra::CStatisticsView</name>
    <message>
        <source>People per hour, last 24 hours</source>
        <translation>시간별 인원 (최근 24시간)</translation>
    </message>
    <message>
        <source>Today&apos;s readings</source>
        <translation>오늘의 측정값</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>내보내기…</translation>
    </message>
    <message>
        <source>People today: %1</source>
        <translation>오늘 인원: %1</translation>
    </message>
    <message>
        <source>Alarms: %1</source>
        <translation>알람: %1</translation>
    </message>
    <message>
        <source>Alarm rate: %1 %</source>
        <translation>알람 비율: %1 %</translation>
    </message>
    <message>
        <source>Median: %1</source>
        <translation>중앙값: %1</translation>
    </message>
    <message>
        <source>95th percentile: %1</source>
        <translation>95 백분위수: %1</translation>
    </message>
    <message>
        <source>People</source>
        <translation>인원</translation>
    </message>
    <message>
        <source>Alarms</source>
        <translation>알람</translation>
    </message>
    <message>
        <source>Alarm threshold</source>
        <translation>알람 온도</translation>
    </message>
    <message>
        <source>Export people</source>
        <translation>인원 내보내기</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 파일 (*.csv)</translation>
    </message>
    <message>
        <source>People written to %1</source>
        <translation>인원 기록을 %1에 저장했습니다</translation>
    </message>
</context>
</TS>
