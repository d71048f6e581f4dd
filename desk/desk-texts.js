// The page's texts, English and Korean, chosen by the browser's language.
"use strict";
const deskTexts = {
  en: {
    title: "Calidra desk", enableSound: "Enable sound", soundOn: "Sound on", logOut: "Log out",
    loginTitle: "Log in to the site's broker", user: "User", password: "Password", connect: "Connect",
    noStations: "No station has reported yet.", lastAlarms: "Last alarms", station: "Station",
    start: "Start", end: "End", highest: "Highest °C",
    online: "Online", offline: "Offline", camera: "Camera", lastMessage: "Last message",
    reference: "Reference", threshold: "Threshold", peopleToday: "People today", alarmsToday: "Alarms today",
    lastReading: "Last reading", alarmSnapshot: "Alarm snapshot", livePicture: "Live picture",
    cameraConnected: "connected", cameraSearching: "searching", cameraNone: "none", cameraStalled: "stalled",
    secondsAgo: "{0} s ago", minutesAgo: "{0} min ago", alarmOn: "ALARM",
    connecting: "Connecting…", connected: "Connected", reconnecting: "Connection lost, reconnecting…",
    refused: "The broker refused the user name or password.",
    unreachable: "The broker cannot be reached: {0}",
  },
  ko: {
    title: "Calidra 관제", enableSound: "소리 켜기", soundOn: "소리 켜짐", logOut: "로그아웃",
    loginTitle: "현장 브로커에 로그인", user: "사용자", password: "비밀번호", connect: "연결",
    noStations: "아직 보고한 스테이션이 없습니다.", lastAlarms: "최근 알람", station: "스테이션",
    start: "시작", end: "종료", highest: "최고 °C",
    online: "온라인", offline: "오프라인", camera: "카메라", lastMessage: "마지막 메시지",
    reference: "기준", threshold: "알람 온도", peopleToday: "오늘 인원", alarmsToday: "오늘 알람",
    lastReading: "마지막 측정", alarmSnapshot: "알람 스냅샷", livePicture: "실시간 영상",
    cameraConnected: "연결됨", cameraSearching: "찾는 중", cameraNone: "없음", cameraStalled: "신호 끊김",
    secondsAgo: "{0}초 전", minutesAgo: "{0}분 전", alarmOn: "알람",
    connecting: "연결 중…", connected: "연결됨", reconnecting: "연결이 끊겨 다시 연결하는 중…",
    refused: "브로커가 사용자 이름 또는 비밀번호를 거부했습니다.",
    unreachable: "브로커에 연결할 수 없습니다: {0}",
  },
};

function deskLanguage(languages) {
  for (const language of languages || [])
    if (String(language).toLowerCase().startsWith("ko")) return "ko";
  return "en";
}

function deskText(language, key, ...values) {
  const text = (deskTexts[language] || deskTexts.en)[key] || deskTexts.en[key] || key;
  return text.replace(/\{(\d+)\}/g, (_, index) => String(values[Number(index)]));
}
