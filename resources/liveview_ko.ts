<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>calidra::CLiveViewer</name>
    <message>
        <source>No camera</source>
        <translation>카메라 없음</translation>
    </message>
    <message>
        <source>Measured offset %1 °C not applied: the offset %2 °C stays in force.</source>
        <translation>측정된 오프셋 %1 °C는 적용되지 않았습니다: 오프셋 %2 °C가 그대로 적용됩니다.</translation>
    </message>
</context>
<context>
    <name>calidra::CLiveViewerCtrl</name>
    <message>
        <source>Reference</source>
        <translation>기준체 보정</translation>
    </message>
    <message>
        <source>Reference Temp :</source>
        <translation>기준 온도 :</translation>
    </message>
    <message>
        <source>Reference: searching</source>
        <translation>기준체: 찾는 중</translation>
    </message>
    <message>
        <source>Reference: locked, correction %1</source>
        <translation>기준체: 고정, 보정 %1</translation>
    </message>
    <message>
        <source>Reference: holding, correction %1</source>
        <translation>기준체: 유지 중, 보정 %1</translation>
    </message>
    <message>
        <source>Reference: lost</source>
        <translation>기준체: 잃음</translation>
    </message>
    <message>
        <source>Offset %1</source>
        <translation>오프셋 %1</translation>
    </message>
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
    <message>
        <source>Option :</source>
        <translation>옵션 :</translation>
    </message>
    <message>
        <source>Temp Unit :</source>
        <translation>온도 단위 :</translation>
    </message>
    <message>
        <source>Temp Mode :</source>
        <translation>온도 모드 :</translation>
    </message>
    <message>
        <source>Measure</source>
        <translation>측정</translation>
    </message>
    <message>
        <source>Palette Color :</source>
        <translation>팔레트 색상 :</translation>
    </message>
    <message>
        <source>Font Size :</source>
        <translation>글자 크기 :</translation>
    </message>
    <message>
        <source>Detection Temp :</source>
        <translation>감지 온도 :</translation>
    </message>
    <message>
        <source>Alarm Temp :</source>
        <translation>알람 온도 :</translation>
    </message>
    <message>
        <source>Alarm Save Interval :</source>
        <translation>알람 저장 간격 :</translation>
    </message>
    <message>
        <source>sec</source>
        <translation>초</translation>
    </message>
    <message>
        <source>NUC Interval :</source>
        <translation>NUC 간격 :</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>적용</translation>
    </message>
    <message>
        <source>Alarm Event :</source>
        <translation>알람 이벤트 :</translation>
    </message>
    <message>
        <source>Alarm Type :</source>
        <translation>알람 종류 :</translation>
    </message>
    <message>
        <source>Masking</source>
        <translation>마스킹</translation>
    </message>
    <message>
        <source>IP Setting</source>
        <translation>IP 설정</translation>
    </message>
    <message>
        <source>Camera Setting</source>
        <translation>카메라 설정</translation>
    </message>
    <message>
        <source>Start Streaming</source>
        <translation>스트리밍 시작</translation>
    </message>
    <message>
        <source>Stop Streaming</source>
        <translation>스트리밍 중지</translation>
    </message>
    <message>
        <source>Alarm%1</source>
        <translation>알람%1</translation>
    </message>
    <message>
        <source>People today: %1 · Alarms: %2</source>
        <translation>오늘 인원: %1 · 알람: %2</translation>
    </message>
    <message>
        <source>Alarm Mode :</source>
        <translation>알람 방식 :</translation>
    </message>
    <message>
        <source>Fixed</source>
        <translation>고정</translation>
    </message>
    <message>
        <source>Baseline</source>
        <translation>기준선</translation>
    </message>
    <message>
        <source>Baseline Count :</source>
        <translation>기준 인원 :</translation>
    </message>
    <message>
        <source>Reset baseline</source>
        <translation>기준선 초기화</translation>
    </message>
    <message>
        <source>Baseline Delta :</source>
        <translation>기준 편차 :</translation>
    </message>
    <message>
        <source>Threshold in force: %1 (baseline %2 from %3 people)</source>
        <translation>적용 알람 온도: %1 (기준선 %2, %3명 기준)</translation>
    </message>
    <message>
        <source>Baseline: learning %1 / %2 (fixed %3 in force)</source>
        <translation>기준선: 학습 중 %1 / %2 (고정 %3 적용)</translation>
    </message>
</context>
<context>
    <name>calidra::OffsetConfirmation</name>
    <message>
        <source>Measured offset</source>
        <translation>측정된 오프셋</translation>
    </message>
    <message>
        <source>The measurement found the offset %1; the offset in force is %2.</source>
        <translation>측정 결과 오프셋은 %1입니다. 현재 적용 중인 오프셋은 %2입니다.</translation>
    </message>
    <message>
        <source>A change of more than 1.0 °C: apply it only if the subject of the measurement has a normal body temperature. Measured on a person with fever, it would hide the fever of everybody after.</source>
        <translation>1.0 °C보다 큰 변경입니다. 측정 대상자의 체온이 정상일 때만 적용하십시오. 발열이 있는 사람으로 측정하면 이후 모든 사람의 발열이 가려집니다.</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>적용</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
</context>
<context>
    <name>calidra::OperatorValuesModel</name>
    <message>
        <source>Detection Temp must be a number of at least %1 and below Alarm Temp (%2).</source>
        <translation>감지 온도는 %1 이상이고 알람 온도(%2)보다 낮은 숫자여야 합니다.</translation>
    </message>
    <message>
        <source>Alarm Temp must be a number of at least %1 and above Detection Temp (%2).</source>
        <translation>알람 온도는 %1 이상이고 감지 온도(%2)보다 높은 숫자여야 합니다.</translation>
    </message>
    <message>
        <source>Alarm Save Interval must be a whole number of seconds from %1 to %2.</source>
        <translation>알람 저장 간격은 %1초에서 %2초 사이의 정수여야 합니다.</translation>
    </message>
    <message>
        <source>NUC Interval must be 0 (off) or a whole number of seconds from %1 to %2.</source>
        <translation>NUC 간격은 0(끄기) 또는 %1초에서 %2초 사이의 정수여야 합니다.</translation>
    </message>
    <message>
        <source>The offset must be a number from %1 to %2 °C.</source>
        <translation>보정값은 %1 °C에서 %2 °C 사이의 숫자여야 합니다.</translation>
    </message>
    <message>
        <source>The smallest region must be a whole number of at least %1 pixel.</source>
        <translation>최소 영역은 %1 픽셀 이상의 정수여야 합니다.</translation>
    </message>
    <message>
        <source>Baseline Count must be a whole number of people from %1 to %2.</source>
        <translation>기준 인원은 %1명에서 %2명 사이의 정수여야 합니다.</translation>
    </message>
    <message>
        <source>Baseline Delta must be a number from %1 to %2 °C.</source>
        <translation>기준 편차는 %1 °C에서 %2 °C 사이의 숫자여야 합니다.</translation>
    </message>
</context>
<context>
    <name>calidra::PictureArea</name>
    <message>
        <source>Collecting the temperature information... Do not move!</source>
        <translation>온도 정보를 수집하고 있습니다... 움직이지 마세요!</translation>
    </message>
    <message>
        <source>Please let the subject of measurement stand in the center of the camera.</source>
        <translation>측정 대상자가 카메라 중앙에 서도록 해 주세요.</translation>
    </message>
    <message>
        <source>Searching for a camera…</source>
        <translation>카메라를 찾는 중…</translation>
    </message>
    <message>
        <source>No camera signal — searching…</source>
        <translation>카메라 신호 없음 — 찾는 중…</translation>
    </message>
</context>
<context>
    <name>calidra::AlarmBanner</name>
    <message>
        <source>ALARM</source>
        <translation>알람</translation>
    </message>
    <message>
        <source>ALARM %1</source>
        <translation>알람 %1</translation>
    </message>
</context>
<context>
    <name>calidra::ScreeningNotice</name>
    <message>
        <source>Searching for the reference…</source>
        <translation>기준체를 찾는 중…</translation>
    </message>
    <message>
        <source>Reference lost — screening paused</source>
        <translation>기준체를 잃음 — 검사 일시 중지</translation>
    </message>
</context>
</TS>
