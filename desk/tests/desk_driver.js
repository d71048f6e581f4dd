// Drives the desk page in Debian's headless Chromium for the tests and the load tool, one command
// a line on standard input, one answer a line on standard output ("ok ..." or "fail ...").
//   node desk_driver.js PAGE_URL [LANGUAGE]
//   login USER PASSWORD        a fresh browser context logs in
//   connected TIMEOUT_MS       until the page has logged in and shows the desk
//   tiles COUNT TIMEOUT_MS     until COUNT tiles show; ok <epoch ms>
//   alarm STATION TIMEOUT_MS   until the tile is red with a decoded snapshot;
//                              ok <epoch ms it turned red> <epoch ms the snapshot decoded>
//   offline STATION TIMEOUT_MS until the tile shows offline; ok <epoch ms>
//   message TIMEOUT_MS         until the login form shows a message; ok <the message>
//   text SELECTOR              ok <the element's text>
//   screenshot PATH            ok
//   metrics                    ok <JSON of the page's CPU time and tiles>
//   quit
"use strict";

const puppeteer = require("puppeteer-core");
const readline = require("readline");

const chromium = process.env.CALIDRA_CHROMIUM || "/usr/bin/chromium";
const [pageUrl, language = "en-US"] = process.argv.slice(2);

// Notes the moment each tile turns red or offline, in the page, so a slow poll does not blur it.
function watchTiles() {
  window.deskSeen = { alarm: {}, offline: {} };
  const note = () => {
    for (const tile of document.querySelectorAll(".tile")) {
      const name = tile.dataset.station;
      for (const state of ["alarm", "offline"]) {
        if (tile.classList.contains(state)) window.deskSeen[state][name] ??= Date.now();
        else delete window.deskSeen[state][name];
      }
    }
  };
  // Runs before the page has a body: the whole document is watched.
  new MutationObserver(note).observe(document, { subtree: true, attributes: true,
                                                 childList: true, attributeFilter: ["class"] });
}

async function main() {
  const browser = await puppeteer.launch({
    executablePath: chromium, headless: true,
    args: ["--no-sandbox", "--disable-gpu", `--lang=${language}`, "--no-first-run", "--autoplay-policy=user-gesture-required"],
  });
  let context = null;
  let page = null;
  const answer = (line) => process.stdout.write(`${line}\n`);
  const tileSelector = (name) => `.tile[data-station="${quotedForSelector(name)}"]`;
  const commands = {
    async login(user, password = "") {
      if (context) await context.close();
      context = await browser.createBrowserContext();
      page = await context.newPage();
      await page.setViewport({ width: 1280, height: 900 });
      await page.setExtraHTTPHeaders({ "Accept-Language": language });
      await page.evaluateOnNewDocument(watchTiles);
      await page.goto(pageUrl, { waitUntil: "load" });
      await page.waitForSelector("#login:not([hidden])", { timeout: 10000 });
      await page.type("#user", user);
      await page.type("#password", password);
      await page.click("#connect");
      return "ok";
    },
    async connected(timeout) {
      await page.waitForSelector("#desk:not([hidden])", { timeout: Number(timeout) });
      return "ok";
    },
    async tiles(count, timeout) {
      await page.waitForFunction((wanted) => document.querySelectorAll(".tile").length >= wanted,
                                 { timeout: Number(timeout), polling: 50 }, Number(count));
      return `ok ${Date.now()}`;
    },
    async alarm(name, timeout) {
      const selector = tileSelector(name);
      await page.waitForFunction((tile) => {
        const element = document.querySelector(tile);
        const image = element && element.querySelector("img.snapshot");
        return element && element.classList.contains("alarm") && image && image.complete && image.naturalWidth > 0;
      }, { timeout: Number(timeout), polling: 20 }, selector);
      const red = await page.evaluate((station) => window.deskSeen.alarm[station], name);
      return `ok ${red} ${Date.now()}`;
    },
    async offline(name, timeout) {
      await page.waitForFunction((station) => window.deskSeen.offline[station] !== undefined,
                                 { timeout: Number(timeout), polling: 50 }, name);
      return `ok ${await page.evaluate((station) => window.deskSeen.offline[station], name)}`;
    },
    async message(timeout) {
      await page.waitForFunction(() => document.getElementById("loginMessage").textContent.trim() !== "",
                                 { timeout: Number(timeout), polling: 50 });
      return `ok ${await page.$eval("#loginMessage", (element) => element.textContent.trim())}`;
    },
    async text(selector) {
      return `ok ${await page.$eval(selector, (element) => element.textContent.trim())}`;
    },
    async screenshot(path) {
      await page.screenshot({ path, fullPage: true });
      return "ok";
    },
    async metrics() {
      const metrics = await page.metrics();
      const tiles = await page.evaluate(() => document.querySelectorAll(".tile").length);
      return `ok ${JSON.stringify({ taskSeconds: metrics.TaskDuration, scriptSeconds: metrics.ScriptDuration, tiles })}`;
    },
  };
  answer("ready");
  const lines = readline.createInterface({ input: process.stdin });
  for await (const line of lines) {
    const [command, ...values] = line.trim().split(" ");
    if (command === "quit") break;
    if (!commands[command]) {
      answer(`fail unknown command ${command}`);
      continue;
    }
    try {
      answer(await commands[command](...values.map(decodeURIComponent)));
    } catch (error) {
      answer(`fail ${String(error.message || error).split("\n")[0]}`);
    }
  }
  await browser.close();
}

// Station names are free text: quoted for an attribute selector.
function quotedForSelector(text) {
  return text.replace(/["\\]/g, "\\$&");
}

main().catch((error) => {
  process.stdout.write(`fail ${error.message}\n`);
  process.exit(1);
});
