<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR" sourcelanguage="en_US">
<context>
    <name>CCalidraApp</name>
    <message>
        <source>Calidra is already running.</source>
        <translation>Calidra가 이미 실행 중입니다.</translation>
    </message>
    <message>
        <source>Failed to create empty document.</source>
        <translation>빈 문서를 만들지 못했습니다.</translation>
    </message>
    <message>
        <source>Another station (Calidra or calidra-headless) is already running from %1.</source>
        <translation>다른 스테이션(Calidra 또는 calidra-headless)이 이미 %1에서 실행 중입니다.</translation>
    </message>
    <message>
        <source>To leave it running, watch its picture through the stream instead: rtsp://127.0.0.1:8554/calidra (served by VantrelServer) in any RTSP player.</source>
        <translation>계속 실행해 두려면 대신 스트림으로 화면을 보십시오: RTSP 플레이어에서 rtsp://127.0.0.1:8554/calidra (VantrelServer가 제공).</translation>
    </message>
    <message>
        <source>The station already runs from %1 as the service %2, without a window.

To use this window instead, stop the service first:
    %3 stop %2
(and %3 disable %2 to keep it from starting with the computer).

%4</source>
        <translation>스테이션이 이미 %1에서 창 없이 서비스 %2(으)로 실행 중입니다.

이 창을 대신 사용하려면 먼저 서비스를 중지하십시오:
    %3 stop %2
(컴퓨터와 함께 다시 시작되지 않게 하려면 %3 disable %2).

%4</translation>
    </message>
    <message>
        <source>calidra-headless (process %2) already runs the station from %1, without a window.

To use this window instead, end it first: Ctrl+C in its terminal, or
    kill %2

%3</source>
        <translation>calidra-headless(프로세스 %2)가 이미 %1에서 창 없이 스테이션을 실행 중입니다.

이 창을 대신 사용하려면 먼저 종료하십시오: 해당 터미널에서 Ctrl+C, 또는
    kill %2

%3</translation>
    </message>
</context>
<context>
    <name>CLogBar</name>
    <message>
        <source>Log</source>
        <translation>로그</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>시간</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>타입</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>메시지</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>리턴값</translation>
    </message>
</context>
<context>
    <name>calidra::EventLog</name>
    <message>
        <source>Alarm on: %1 %2</source>
        <translation>알람 켜짐: %1 %2</translation>
    </message>
    <message>
        <source>Alarm off</source>
        <translation>알람 꺼짐</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>Light Theme</source>
        <translation>밝은 테마</translation>
    </message>
    <message>
        <source>Dark Theme</source>
        <translation>어두운 테마</translation>
    </message>
    <message>
        <source>Blue Theme</source>
        <translation>파란색 테마</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>표준</translation>
    </message>
    <message>
        <source>&amp;Back</source>
        <translation>뒤로(&amp;B)</translation>
    </message>
    <message>
        <source>Back to the previous view</source>
        <translation>이전 화면으로</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>앞으로</translation>
    </message>
    <message>
        <source>Forward to the next view</source>
        <translation>다음 화면으로</translation>
    </message>
    <message>
        <source>Visual theme:</source>
        <translation>화면 테마:</translation>
    </message>
    <message>
        <source>Color Theme</source>
        <translation>색상 테마</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>상태 표시줄(&amp;S)</translation>
    </message>
    <message>
        <source>Show or hide the status bar</source>
        <translation>상태 표시줄 표시 또는 숨기기</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>끝내기(&amp;X)</translation>
    </message>
    <message>
        <source>Quit the application</source>
        <translation>프로그램 끝내기</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>파일(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>보기(&amp;V)</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>준비</translation>
    </message>
</context>
<context>
    <name>CViewsBar</name>
    <message>
        <source>Views</source>
        <translation>화면</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>검색</translation>
    </message>
    <message>
        <source>No items match your search.</source>
        <translation>검색과 일치하는 항목이 없습니다.</translation>
    </message>
    <message>
        <source>Live View</source>
        <translation>실시간 보기</translation>
    </message>
    <message>
        <source>Image View</source>
        <translation>이미지 보기</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>통계</translation>
    </message>
</context>
</TS>
