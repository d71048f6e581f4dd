// What the desk knows of the site, from the messages of calidra/<station>/{status,alarm,snapshot}:
// no page, no network, so it reads the same under a test as in the browser.
"use strict";

const deskAlarmListLength = 50;

class DeskModel {
  constructor() {
    this.stations = new Map();
    this.alarms = []; // newest first: { station, start, end, highestCelsius }
  }

  station(name) {
    let station = this.stations.get(name);
    if (!station) {
      station = { name, status: {}, online: false, alarm: false, lastMessageAt: 0, lastAlarm: null,
                  snapshot: null, snapshotAt: 0 };
      this.stations.set(name, station);
    }
    return station;
  }

  // Takes one message; returns { station, kind, alarmStarted } or null for a topic not the desk's.
  receive(topic, payload, now) {
    const parts = topic.split("/");
    if (parts.length !== 3 || parts[0] !== "calidra") return null;
    const [, name, kind] = parts;
    if (kind !== "status" && kind !== "alarm" && kind !== "snapshot") return null;
    const station = this.station(name);
    const wasAlarm = station.alarm;
    if (kind === "snapshot") {
      if (payload.length === 0) return null; // a retained picture being removed
      station.snapshot = payload;
      station.snapshotAt = now;
      return { station, kind, alarmStarted: false };
    }
    let message;
    try {
      message = JSON.parse(new TextDecoder().decode(payload));
    } catch (error) {
      return null;
    }
    if (!message || typeof message !== "object") return null;
    station.lastMessageAt = now;
    if (kind === "status") {
      station.status = message;
      station.online = message.online === true;
      station.alarm = station.online && message.alarm === true;
    } else {
      station.lastAlarm = message;
      station.alarm = message.alarm === true;
      this.noteAlarm(name, message);
    }
    return { station, kind, alarmStarted: station.alarm && !wasAlarm };
  }

  noteAlarm(name, message) {
    if (typeof message.start !== "string") return;
    let entry = this.alarms.find((alarm) => alarm.station === name && alarm.start === message.start);
    if (!entry) {
      entry = { station: name, start: message.start, end: null, highestCelsius: null };
      this.alarms.push(entry);
      this.alarms.sort((first, second) => Date.parse(second.start) - Date.parse(first.start));
      this.alarms.length = Math.min(this.alarms.length, deskAlarmListLength);
    }
    if (typeof message.end === "string") entry.end = message.end;
    if (typeof message.highestCelsius === "number") entry.highestCelsius = message.highestCelsius;
  }
}

if (typeof module !== "undefined") module.exports = { DeskModel, deskAlarmListLength };
