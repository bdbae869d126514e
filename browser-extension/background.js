"use strict";
// Tells Kelvo's browser host which site the active tab of the last focused normal window shows.
// Only the origin (scheme, host and port) ever leaves the browser, and a private or incognito
// window is reported as no tab at all. The host never answers.

const api = globalThis.browser ?? globalThis.chrome;
const hostName = "kelvo.browser_host";
// Attempts to start the host are at least this far apart, so a missing or failing host is not
// started again and again.
const retryDelayMs = 5000;

let port = null;
// The origin last posted on the current port; undefined until the first message on it.
let sentOrigin;
let lastConnectAt = -Infinity;
let retryTimer = null;
// Reports run one after another, so the last event's view of the tabs is the one that stays.
let pending = Promise.resolve();

// "scheme://host[:port]" of an http or https URL, null for anything else.
function originOf(urlText) {
  if (typeof urlText !== "string" || urlText === "") return null;
  let url;
  try {
    url = new URL(urlText);
  } catch {
    return null;
  }
  if (url.protocol !== "http:" && url.protocol !== "https:") return null;
  return url.hostname === "" ? null : url.origin;
}

// The origin worth reporting now: the active tab of the last focused normal window, unless that
// window is private.
async function currentOrigin() {
  let focused;
  try {
    focused = await api.windows.getLastFocused({ populate: true, windowTypes: ["normal"] });
  } catch {
    return null; // no browser window at all
  }
  if (!focused || focused.incognito || focused.type !== "normal") return null;
  const tab = (focused.tabs ?? []).find((candidate) => candidate.active);
  if (!tab || tab.incognito) return null;
  return originOf(tab.url);
}

function forgetPort(closed) {
  // Reading lastError tells Chrome the failure was seen (a missing host is no error here).
  void api.runtime.lastError;
  if (port === closed) port = null;
}

// The open port to the host; null when the last attempt was too recent, and then one retry is
// scheduled, so the tab of the event that had to wait still reaches the host.
function openPort() {
  if (port) return port;
  const wait = lastConnectAt + retryDelayMs - Date.now();
  if (wait > 0) {
    retryTimer ??= setTimeout(() => {
      retryTimer = null;
      report();
    }, wait);
    return null;
  }
  lastConnectAt = Date.now();
  sentOrigin = undefined;
  try {
    port = api.runtime.connectNative(hostName);
  } catch {
    port = null;
    return null;
  }
  const opened = port;
  opened.onDisconnect.addListener(() => forgetPort(opened));
  return port;
}

async function send() {
  const origin = await currentOrigin();
  const target = openPort();
  if (!target || origin === sentOrigin) return;
  try {
    target.postMessage({ origin });
    sentOrigin = origin;
  } catch {
    forgetPort(target);
  }
}

function report() {
  pending = pending.then(send).catch(() => {});
}

api.tabs.onActivated.addListener(report);
api.tabs.onUpdated.addListener((tabId, changeInfo, tab) => {
  if (changeInfo.url !== undefined && tab.active) report();
});
api.windows.onFocusChanged.addListener((windowId) => {
  // Focus went to another application: the host keeps the last tab.
  if (windowId !== api.windows.WINDOW_ID_NONE) report();
});
api.runtime.onStartup.addListener(report);
api.runtime.onInstalled.addListener(report);
report();
