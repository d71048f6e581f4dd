<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR" sourcelanguage="en">
<context>
    <name>Widget</name>
    <message>
        <source>REF</source>
        <translation>기준</translation>
    </message>
    <message>
        <source>The reference could not be saved to %1:
%2</source>
        <translation>기준체를 %1에 저장하지 못했습니다:
%2</translation>
    </message>
    <message>
        <source>Calidra - Mask Setting</source>
        <translation>Calidra - 마스크 설정</translation>
    </message>
    <message>
        <source>ID :</source>
        <translation>ID :</translation>
    </message>
    <message>
        <source>Start X :</source>
        <translation>시작 X :</translation>
    </message>
    <message>
        <source>Start Y :</source>
        <translation>시작 Y :</translation>
    </message>
    <message>
        <source>Width :</source>
        <translation>너비 :</translation>
    </message>
    <message>
        <source>Height :</source>
        <translation>높이 :</translation>
    </message>
    <message>
        <source>Enabled :</source>
        <translation>사용 :</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>적용</translation>
    </message>
    <message>
        <source>The masks could not be saved to %1:
%2</source>
        <translation>마스크를 %1에 저장하지 못했습니다:
%2</translation>
    </message>
</context>
<context>
    <name>RoiLabelView</name>
    <message>
        <source>REF</source>
        <translation>기준</translation>
    </message>
</context>
</TS>
