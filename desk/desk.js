// The desk page: logs in to the broker that serves it (MQTT over WebSockets), keeps a tile per
// station and the site's last alarms, and sounds alarms once the user allowed sound.
"use strict";

const language = deskLanguage(navigator.languages || [navigator.language]);
const text = (key, ...values) => deskText(language, key, ...values);
const credentialsKey = "calidra-desk-credentials";
const model = new DeskModel();
const tiles = new Map(); // station name -> { element, fields, snapshotUrl }
let client = null;
let audio = null;

function element(tag, className, content) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (content !== undefined) made.textContent = content;
  return made;
}

function translatePage() {
  document.documentElement.lang = language;
  document.title = text("title");
  for (const node of document.querySelectorAll("[data-text]")) node.textContent = text(node.dataset.text);
}

function showLogin(message) {
  document.getElementById("desk").hidden = true;
  document.getElementById("logout").hidden = true;
  document.getElementById("login").hidden = false;
  document.getElementById("loginMessage").textContent = message || "";
  document.getElementById("connection").textContent = "";
}

function setConnection(key, ...values) {
  document.getElementById("connection").textContent = text(key, ...values);
}

function formatTime(iso) {
  if (!iso) return "";
  const time = new Date(iso);
  return Number.isNaN(time.getTime()) ? iso : time.toLocaleString(language === "ko" ? "ko-KR" : undefined);
}

function formatAge(milliseconds) {
  const seconds = Math.max(0, Math.round(milliseconds / 1000));
  return seconds < 120 ? text("secondsAgo", seconds) : text("minutesAgo", Math.round(seconds / 60));
}

// What a station publishes beyond its health, shown when it is there.
const optionalFields = [
  ["reference", (status) => status.reference],
  ["threshold", (status) => (typeof status.threshold === "number" ? `${status.threshold.toFixed(1)} °C` : undefined)],
  ["peopleToday", (status) => status.peopleToday],
  ["alarmsToday", (status) => status.alarmsToday],
];

function tileFor(station) {
  let tile = tiles.get(station.name);
  if (tile) return tile;
  const article = element("article", "tile");
  article.dataset.station = station.name;
  const heading = element("h3", "", station.name);
  const list = element("dl");
  const fields = {};
  for (const key of ["online", "camera", "lastMessage", ...optionalFields.map(([key]) => key), "lastReading"]) {
    const term = element("dt", "", key === "online" ? "" : text(key));
    const value = element("dd", key);
    term.hidden = value.hidden = true;
    list.append(term, value);
    fields[key] = { term, value };
  }
  const pictures = element("div", "pictures");
  const snapshot = element("figure", "snapshot");
  const snapshotImage = element("img", "snapshot");
  snapshotImage.alt = text("alarmSnapshot");
  snapshot.append(snapshotImage, element("figcaption", "", text("alarmSnapshot")));
  const live = element("figure", "live");
  const liveImage = element("img", "live");
  liveImage.alt = text("livePicture");
  live.append(liveImage, element("figcaption", "", text("livePicture")));
  snapshot.hidden = live.hidden = true;
  pictures.append(snapshot, live);
  article.append(heading, list, pictures);
  document.getElementById("tiles").append(article);
  document.getElementById("empty").hidden = true;
  tile = { article, fields, snapshot, snapshotImage, live, liveImage, snapshotUrl: null };
  tiles.set(station.name, tile);
  return tile;
}

function setField(tile, key, value) {
  const field = tile.fields[key];
  const shown = value !== undefined && value !== null && value !== "";
  field.term.hidden = field.value.hidden = !shown;
  if (shown) field.value.textContent = String(value);
}

function renderTile(station, now) {
  const tile = tileFor(station);
  const status = station.status || {};
  tile.article.classList.toggle("alarm", station.alarm);
  tile.article.classList.toggle("offline", !station.online);
  tile.article.querySelector("h3").textContent = station.alarm ? `${station.name} — ${text("alarmOn")}` : station.name;
  setField(tile, "online", text(station.online ? "online" : "offline"));
  const camera = typeof status.camera === "string" ? status.camera : "";
  const cameraKey = { connected: "cameraConnected", searching: "cameraSearching", stalled: "cameraStalled",
                      none: "cameraNone" }[camera];
  setField(tile, "camera", station.online ? (cameraKey ? text(cameraKey) : camera) : "");
  setField(tile, "lastMessage", station.lastMessageAt ? formatAge(now - station.lastMessageAt) : "");
  for (const [key, read] of optionalFields) setField(tile, key, read(status));
  const reading = typeof status.lastCelsius === "number" ? status.lastCelsius
    : station.lastAlarm && typeof station.lastAlarm.highestCelsius === "number" ? station.lastAlarm.highestCelsius
    : undefined;
  setField(tile, "lastReading", reading === undefined ? undefined : `${reading.toFixed(1)} °C`);

  tile.snapshot.hidden = !(station.alarm && tile.snapshotUrl);
  const video = station.alarm && station.online && typeof status.video === "string" ? status.video : "";
  // Only while alarming, so a site of many doors does not pull every picture at once.
  if (video && tile.liveImage.getAttribute("src") !== video) tile.liveImage.src = video;
  if (!video && tile.liveImage.hasAttribute("src")) tile.liveImage.removeAttribute("src");
  tile.live.hidden = !video;
}

function renderAlarms() {
  const body = document.getElementById("alarmList");
  body.replaceChildren(...model.alarms.map((alarm) => {
    const row = element("tr");
    row.append(element("td", "", alarm.station), element("td", "", formatTime(alarm.start)),
               element("td", "", formatTime(alarm.end)),
               element("td", "", alarm.highestCelsius === null ? "" : alarm.highestCelsius.toFixed(1)));
    return row;
  }));
}

function ring() {
  if (!audio) return;
  const start = audio.currentTime;
  for (let beep = 0; beep < 3; ++beep) {
    const oscillator = audio.createOscillator();
    const gain = audio.createGain();
    oscillator.frequency.value = 880;
    gain.gain.value = 0.2;
    oscillator.connect(gain).connect(audio.destination);
    oscillator.start(start + beep * 0.35);
    oscillator.stop(start + beep * 0.35 + 0.2);
  }
}

function received(topic, payload) {
  const now = Date.now();
  const change = model.receive(topic, payload, now);
  if (!change) return;
  const tile = tileFor(change.station);
  if (change.kind === "snapshot") {
    if (tile.snapshotUrl) URL.revokeObjectURL(tile.snapshotUrl);
    tile.snapshotUrl = URL.createObjectURL(new Blob([change.station.snapshot], { type: "image/jpeg" }));
    tile.snapshotImage.src = tile.snapshotUrl;
  }
  renderTile(change.station, now);
  if (change.kind === "alarm") renderAlarms();
  if (change.alarmStarted) ring();
}

function connect(user, password) {
  if (client) client.end(true);
  setConnection("connecting");
  const scheme = location.protocol === "https:" ? "wss" : "ws";
  client = mqtt.connect(`${scheme}://${location.host}/mqtt`, {
    username: user, password, protocolVersion: 4, clean: true, reconnectPeriod: 2000, connectTimeout: 10000,
    clientId: `calidra-desk-${Math.random().toString(16).slice(2, 10)}`,
  });
  client.on("connect", () => {
    sessionStorage.setItem(credentialsKey, JSON.stringify({ user, password }));
    document.getElementById("login").hidden = true;
    document.getElementById("desk").hidden = false;
    document.getElementById("logout").hidden = false;
    setConnection("connected");
    client.subscribe(["calidra/+/status", "calidra/+/alarm", "calidra/+/snapshot"], { qos: 1 });
  });
  client.on("message", received);
  client.on("reconnect", () => setConnection("reconnecting"));
  client.on("error", (error) => {
    // CONNACK 4 and 5: wrong user name or password, or not allowed; retrying cannot help.
    if (error && (error.code === 4 || error.code === 5)) {
      client.end(true);
      client = null;
      sessionStorage.removeItem(credentialsKey);
      showLogin(text("refused"));
      return;
    }
    setConnection("unreachable", error && error.message ? error.message : String(error));
  });
}

function start() {
  translatePage();
  document.getElementById("login").addEventListener("submit", (event) => {
    event.preventDefault();
    document.getElementById("loginMessage").textContent = "";
    connect(document.getElementById("user").value, document.getElementById("password").value);
  });
  document.getElementById("logout").addEventListener("click", () => {
    sessionStorage.removeItem(credentialsKey);
    location.reload();
  });
  document.getElementById("sound").addEventListener("click", (event) => {
    audio = audio || new AudioContext();
    audio.resume();
    event.target.textContent = text("soundOn");
  });
  setInterval(() => {
    const now = Date.now();
    for (const station of model.stations.values()) setField(tileFor(station), "lastMessage",
      station.lastMessageAt ? formatAge(now - station.lastMessageAt) : "");
  }, 1000);
  const kept = sessionStorage.getItem(credentialsKey);
  if (kept) {
    const { user, password } = JSON.parse(kept);
    connect(user, password);
  } else {
    showLogin();
  }
}

start();
