// SPDX-License-Identifier: GPL-2.0-or-later
// The gift activity page: every gift as it arrives, each thanks source's state
// and buttons, and the evening's totals. The module serves it under
// /TOKEN/, so every link and request here is relative and stays there. The
// token is shown only in #page-url: it is never logged or put in a message.
//
// Hooks for tests (stable; styling does not depend on them changing):
//   #connection[data-state]   connecting | live | retrying | lost
//   #message                  page-wide refusal (401, 403, OBS unreachable)
//   #page-url (input), #copy-url, #copy-answer
//   #sources .source[data-source=NAME][data-paused=true|false][data-announces=true|false]
//     [data-field=on-air|waiting|gifts|value|state|answer|announces]
//     button[data-action=test|skip|pause|clear]; the pause button's
//     data-action is "resume" while the source is paused
//   #rows .row[data-row-id][data-source][data-outcome][data-gift-id] (newest
//     first, inside blocks .chunk of up to 25 rows; at most 1,000 rows)
//     [data-field=time|source|sender|gift|count|value|outcome|answer],
//     button[data-action=again] on rows with a gift_id
//   #totals, #top li[data-sender]
//   #announcer                polite live region, at most one line every 3 s
'use strict';

const MAX_ROWS = 1000;
const ANNOUNCE_EVERY_MS = 3000;
const RECONNECT_MS = 5000;
const MAX_TEXT = 200;
const CHUNK = 25;

// [Chinese, English]; the snapshot's locale says which comes first.
const LABELS = {
  title: ['礼物动态', 'Gift activity'], sources: ['答谢来源', 'Thanks sources'], gifts: ['礼物', 'Gifts'],
  evening: ['今晚至今', 'The evening so far'], topSenders: ['送礼最多的十位', 'Top ten senders'],
  connecting: ['连接中…', 'connecting…'], live: ['实时', 'live'], lost: ['连接中断', 'connection lost'],
  retrying: ['连接中断，重试中…', 'connection lost, retrying…'],
  dockTitle: ['在 OBS 中停靠', 'Use in OBS'], pageUrl: ['本页地址', "This page's address"],
  copy: ['复制', 'Copy'], copied: ['已复制', 'Copied'],
  copyFailed: ['无法复制：请选中地址后手动复制', 'Could not copy: select the address and copy it by hand'],
  dockHint: ['把它粘贴到 OBS 的 停靠窗口 → 自定义浏览器停靠窗口（带浏览器停靠窗口的 OBS 版本），或在浏览器标签页中保持打开。',
    "Paste it into OBS's Docks → Custom Browser Docks (on OBS builds that have browser docks), or keep it open in a browser tab."],
  noSources: ['当前场景集合中没有答谢来源', 'No thanks source in the current scene collection'],
  noRows: ['还没有礼物', 'No gifts yet'], nothing: ['（无）', '(nothing)'], onAir: ['正在显示', 'On air'],
  waiting: ['等待', 'waiting'], giftCount: ['礼物', 'gifts'], giftOne: ['礼物', 'gift'], value: ['价值', 'value'], total: ['合计', 'Total'],
  paused: ['已暂停', 'paused'], running: ['运行中', 'running'],
  noAnnounce: ['此来源的逻辑程序集不通报礼物，也不支持这些按钮。',
    "This source's logic assembly announces no gifts and does not support these buttons."],
  test: ['测试', 'Test'], skip: ['跳过', 'Skip'], pause: ['暂停', 'Pause'], resume: ['继续', 'Resume'],
  clear: ['清空', 'Clear'], again: ['再次答谢', 'Thank again'], done: ['完成', 'Done'],
  newGift: ['新礼物', 'New gift'], newGifts: ['份新礼物，最新', 'new gifts, the latest'],
  e400: ['页面发出的请求有误 (400)', 'The page sent a malformed request (400)'],
  e401: ['本页地址不被接受 (401)：请从 工具 → 礼物动态… 重新打开', "This page's address is not accepted (401): open it again from Tools → Gift activity…"],
  e403: ['请求被拒 (403)：它不是从本页地址发出的', "Refused (403): the request did not come from this page's address"],
  e404: ['没有这个来源 (404)：它可能已被删除或改名', 'No such source (404): it may have been removed or renamed'],
  e413: ['请求过大 (413)', 'The request was too large (413)'],
  eHttp: ['请求失败', 'The request failed'], eNetwork: ['无法连接 OBS：它还在运行吗？', 'Cannot reach OBS: is it still running?'],
};
const OUTCOMES = {
  thanked: ['已答谢', 'thanked'], merged: ['已合并', 'merged'], filtered: ['低于门槛', 'below the threshold'],
  off: ['答谢已关', 'thanks off'], test: ['测试', 'test'], duplicate: ['重复', 'duplicate'],
  refused: ['被拒', 'refused'], cleared: ['已清除', 'cleared'],
};
const SOURCE_BUTTONS = ['test', 'skip', 'pause', 'clear'];

const $ = (id) => document.getElementById(id);
const rowsEl = $('rows');
const panels = new Map();      // source name -> its panel's elements
const clearTimers = new WeakMap();
let zhFirst = /^zh/i.test(navigator.language || '');   // until the snapshot says
let numbers = null;
let connectionState = 'connecting';
let pending = [];              // rows not yet in the list, oldest first
let frameAsked = false;
let lastRowId = -Infinity;
let shown = 0;                 // rows in the list
let unannounced = 0, latest = null, lastAnnounce = 0, announceTimer = 0;
let topShown = '';

// --- text -----------------------------------------------------------------

function ordered(pair) { return zhFirst ? pair : [pair[1], pair[0]]; }
function text(key) { return ordered(LABELS[key]).join(' '); }
function first(key) { return ordered(LABELS[key])[0]; }
// "1 gift", "3 gifts": English counts one apart; Chinese has one word.
function giftsWord(count) { return first(count === 1 ? 'giftOne' : 'giftCount'); }

// Primary language first, the other quieter after it.
function setPair(node, pair) {
  const [a, b] = ordered(pair);
  node.textContent = a + ' ';
  const alt = make('span', 'alt', b);
  alt.lang = zhFirst ? 'en' : 'zh-CN';
  node.appendChild(alt);
}

function str(v) {
  const s = typeof v === 'string' ? v : typeof v === 'number' && isFinite(v) ? String(v) : '';
  return s.length > MAX_TEXT ? s.slice(0, MAX_TEXT) + '…' : s;
}
function num(v) { return typeof v === 'number' && isFinite(v) ? v : null; }
function amount(v) { return num(v) === null ? '—' : numbers.format(v); }
function setText(node, t) { if (node.textContent !== t) node.textContent = t; }

function make(tag, cls, content, field) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (content) node.textContent = content;
  if (field) node.dataset.field = field;
  return node;
}

function clock(ms) {
  const d = new Date(num(ms) ?? NaN);
  if (isNaN(d)) return '';
  return [d.getHours(), d.getMinutes(), d.getSeconds()].map((x) => String(x).padStart(2, '0')).join(':');
}

function relabel() {
  document.documentElement.lang = zhFirst ? 'zh-CN' : 'en';
  document.title = text('title');
  numbers = new Intl.NumberFormat(zhFirst ? 'zh-CN' : 'en-US', { maximumFractionDigits: 2 });
  for (const node of document.querySelectorAll('[data-label]')) setPair(node, LABELS[node.dataset.label]);
  setConnection(connectionState);
  for (const p of panels.values()) p.el.remove();   // rebuilt in the new language
  panels.clear();
  topShown = '';
}

function say(node, message, bad) {
  node.textContent = message;
  node.dataset.kind = bad ? 'error' : 'ok';
  clearTimeout(clearTimers.get(node));
  clearTimers.set(node, setTimeout(() => { node.textContent = ''; }, bad ? 20000 : 5000));
}

function pageMessage(key) {
  const box = $('message');
  box.hidden = !key;
  setText(box, key ? text(key) : '');
}

// --- connection -------------------------------------------------------------

function setConnection(state) {
  connectionState = state;
  const node = $('connection');
  node.dataset.state = state;
  setPair(node, LABELS[state]);
}

function connect() {
  setConnection('connecting');
  const events = new EventSource('events');
  events.onopen = () => { setConnection('live'); pageMessage(null); };
  events.addEventListener('snapshot', (e) => handle(e, onSnapshot));
  events.addEventListener('gift', (e) => handle(e, (row) => queueRow(row, true)));
  events.addEventListener('sources', (e) => handle(e, onSources));
  events.onerror = () => {
    if (events.readyState !== EventSource.CLOSED) { setConnection('retrying'); return; }
    // Closed for good (a refusal, or not an event stream): find out why and
    // start again later, since EventSource will not.
    setConnection('lost');
    diagnose();
    setTimeout(connect, RECONNECT_MS);
  };
}

function handle(event, take) {
  let data;
  try { data = JSON.parse(event.data); } catch (_) { return; }
  if (data && typeof data === 'object') take(data);
}

async function diagnose() {
  try {
    const res = await fetch('api/state', { cache: 'no-store' });
    pageMessage(res.status === 401 ? 'e401' : res.status === 403 ? 'e403' : null);
  } catch (_) {
    pageMessage('eNetwork');
  }
}

// --- snapshot and sources -----------------------------------------------------

function onSnapshot(s) {
  // OBS's Chinese locales (zh-CN, zh-TW) put Chinese first.
  const zh = typeof s.locale === 'string' && s.locale.startsWith('zh');
  if (zh !== zhFirst) { zhFirst = zh; relabel(); }
  $('page-url').value = typeof s.url === 'string' ? s.url : location.href.split('#')[0];
  pending = [];
  rowsEl.textContent = '';
  shown = 0;
  lastRowId = -Infinity;
  unannounced = 0;
  const rows = Array.isArray(s.rows) ? s.rows.slice(0, MAX_ROWS).reverse() : [];
  for (const row of rows) queueRow(row, false);
  $('no-rows').hidden = rows.length > 0;
  onSources(s);
}

function onSources(m) {
  const box = $('sources');
  const list = Array.isArray(m.sources) ? m.sources : [];
  const seen = new Set();
  let gifts = 0, value = 0;
  for (const s of list) {
    if (!s || typeof s.name !== 'string' || seen.has(s.name)) continue;
    seen.add(s.name);
    let p = panels.get(s.name);
    if (!p) { p = makePanel(s.name); panels.set(s.name, p); }
    const place = box.children[seen.size - 1] || null;
    if (place !== p.el) box.insertBefore(p.el, place);
    fillPanel(p, s);
    gifts += num(s.gifts) ?? 0;
    value += num(s.value) ?? 0;
  }
  for (const [name, p] of panels) if (!seen.has(name)) { p.el.remove(); panels.delete(name); }
  $('no-sources').hidden = seen.size > 0;
  setText($('totals'), `${text('total')}: ${amount(gifts)} ${giftsWord(gifts)} · ${first('value')} ${amount(value)}`);
  showTop(Array.isArray(m.top) ? m.top.slice(0, 10) : []);
}

let panelCount = 0;
function makePanel(name) {
  const el = make('article', 'source panel');
  el.dataset.source = name;
  const head = make('h3', 'name', str(name) || '—');
  const state = make('span', 'state', '', 'state');
  head.appendChild(state);
  const onAir = make('p', 'on-air');
  const onAirLabel = make('span', 'key');
  setPair(onAirLabel, LABELS.onAir);
  const onAirText = make('span', 'text', '', 'on-air');
  onAir.append(onAirLabel, onAirText);
  const stats = make('p', 'stats');
  const fields = {};
  for (const [key, field] of [['waiting', 'waiting'], ['giftCount', 'gifts'], ['value', 'value']]) {
    const item = make('span', 'stat', first(key) + ' ');
    fields[field] = make('b', '', '', field);
    item.appendChild(fields[field]);
    stats.appendChild(item);
  }
  const note = make('p', 'note', text('noAnnounce'), 'announces');
  note.id = `note-${++panelCount}`;
  note.hidden = true;
  const buttons = make('div', 'buttons');
  const byAction = {};
  for (const action of SOURCE_BUTTONS) {
    const b = make('button');
    b.type = 'button';
    b.dataset.action = action;
    setPair(b, LABELS[action]);
    byAction[action] = b;
    buttons.appendChild(b);
  }
  const answer = make('p', 'answer', '', 'answer');
  answer.setAttribute('role', 'status');
  el.append(head, onAir, stats, note, buttons, answer);
  return { el, state, onAirText, fields, note, buttons, pause: byAction.pause, paused: null, announces: null };
}

function showPaused(p, paused) {
  if (paused === p.paused) return;
  p.paused = paused;
  p.el.dataset.paused = paused;
  setPair(p.state, LABELS[paused ? 'paused' : 'running']);
  p.pause.dataset.action = paused ? 'resume' : 'pause';
  setPair(p.pause, LABELS[paused ? 'resume' : 'pause']);
}

function fillPanel(p, s) {
  showPaused(p, s.paused === true);
  const onAir = str(s.on_air);
  setText(p.onAirText, onAir || first('nothing'));
  p.onAirText.classList.toggle('empty', !onAir);
  setText(p.fields.waiting, amount(s.waiting));
  setText(p.fields.gifts, amount(s.gifts));
  setText(p.fields.value, amount(s.value));
  const announces = s.announces !== false;
  if (announces !== p.announces) {
    p.announces = announces;
    p.el.dataset.announces = announces;
    p.note.hidden = announces;
    p.buttons.classList.toggle('unsupported', !announces);
    for (const b of p.buttons.children) {
      if (announces) b.removeAttribute('aria-describedby'); else b.setAttribute('aria-describedby', p.note.id);
    }
  }
}

function showTop(top) {
  const key = JSON.stringify(top);
  if (key === topShown) return;
  topShown = key;
  const list = $('top');
  list.textContent = '';
  for (const t of top) {
    if (!t || typeof t !== 'object') continue;
    const li = make('li');
    li.dataset.sender = typeof t.sender === 'string' ? t.sender : '';
    li.append(make('span', 'who', str(t.sender) || '—', 'sender'), make('span', 'num', amount(t.value), 'value'),
      make('span', 'muted', `${amount(t.gifts)} ${giftsWord(num(t.gifts))}`, 'gifts'));
    list.appendChild(li);
  }
  if (!list.firstChild) list.appendChild(make('li', 'hint', text('noRows')));
}

// --- rows -------------------------------------------------------------------

// Rows wait here and go into the list once per animation frame, so a burst of
// gifts costs one insertion and one trim, not one per gift. The list is made
// of blocks of CHUNK rows that the browser skips while out of view: a new row
// on top moves a few dozen blocks down, not a thousand rows.
function queueRow(row, fresh) {
  if (!row || typeof row !== 'object') return;
  const id = num(row.id);
  if (id !== null) {
    if (id <= lastRowId) return;   // already shown (a snapshot and a gift crossing)
    lastRowId = id;
  }
  pending.push(row);
  if (pending.length > MAX_ROWS) pending.splice(0, pending.length - MAX_ROWS);
  if (fresh) { unannounced++; latest = row; }
  if (!frameAsked) { frameAsked = true; requestAnimationFrame(flush); }
}

function flush() {
  frameAsked = false;
  const batch = pending;
  pending = [];
  for (const row of batch) {
    let chunk = rowsEl.firstElementChild;
    if (!chunk || chunk.childElementCount >= CHUNK) {
      chunk = make('ol', 'chunk');
      chunk.setAttribute('role', 'none');
      rowsEl.insertBefore(chunk, rowsEl.firstChild);
    }
    chunk.insertBefore(makeRow(row), chunk.firstChild);
  }
  for (shown += batch.length; shown > MAX_ROWS; shown--) {
    const last = rowsEl.lastElementChild;
    last.lastElementChild.remove();
    if (!last.firstElementChild) last.remove();
  }
  $('no-rows').hidden = shown > 0;
  announce();
}

function makeRow(r) {
  const li = make('li', 'row');
  li.setAttribute('role', 'listitem');
  const id = num(r.id);
  if (id !== null) li.dataset.rowId = id;
  li.dataset.source = typeof r.source === 'string' ? r.source : '';
  const outcome = typeof r.outcome === 'string' ? r.outcome : '';
  li.dataset.outcome = outcome;
  const meta = make('span', 'meta');
  meta.append(make('time', 'time', clock(r.time), 'time'), make('span', 'src', str(r.source), 'source'));
  const what = make('span', 'what');
  what.append(make('span', 'who', str(r.sender) || '—', 'sender'), make('span', 'gift', str(r.gift), 'gift'));
  const count = num(r.count);
  if (count !== null) what.appendChild(make('span', 'count', '×' + amount(count), 'count'));
  if (num(r.value) !== null) what.appendChild(make('span', 'value', amount(r.value), 'value'));
  const badge = make('span', 'outcome', '', 'outcome');
  if (OUTCOMES[outcome]) setPair(badge, OUTCOMES[outcome]); else badge.textContent = str(outcome);
  li.append(meta, what, badge);
  const giftId = num(r.gift_id);
  if (giftId !== null && Number.isInteger(giftId) && giftId > 0) {
    li.dataset.giftId = giftId;
    const b = make('button', 'again');
    b.type = 'button';
    b.dataset.action = 'again';
    setPair(b, LABELS.again);
    b.setAttribute('aria-label', `${text('again')}: ${str(r.sender)} ${str(r.gift)}`);
    li.appendChild(b);
  }
  return li;
}

// One polite line at a time, at most every few seconds, whatever the rate.
function announce() {
  if (!unannounced || announceTimer) return;
  const wait = lastAnnounce + ANNOUNCE_EVERY_MS - Date.now();
  if (wait > 0) { announceTimer = setTimeout(() => { announceTimer = 0; announce(); }, wait); return; }
  lastAnnounce = Date.now();
  const who = `${str(latest.sender)} ${str(latest.gift)}${num(latest.count) !== null ? ' ×' + latest.count : ''}`;
  $('announcer').textContent = unannounced === 1 ? `${first('newGift')}: ${who}` : `${unannounced} ${first('newGifts')}: ${who}`;
  unannounced = 0;
}

// --- controls ---------------------------------------------------------------

const REFUSALS = { 400: 'e400', 401: 'e401', 403: 'e403', 404: 'e404', 413: 'e413' };

document.addEventListener('click', (e) => {
  const button = e.target.closest('button[data-action]');
  const holder = button && button.closest('[data-source]');
  if (!holder) return;
  const body = { source: holder.dataset.source, action: button.dataset.action };
  if (body.action === 'again') body.gift_id = Number(holder.dataset.giftId);
  let out = holder.querySelector('[data-field=answer]');
  if (!out) {
    out = make('span', 'answer', '', 'answer');
    out.setAttribute('role', 'status');
    holder.appendChild(out);
  }
  control(body, button, out);
});

async function control(body, button, out) {
  if (button.getAttribute('aria-busy') === 'true') return;
  button.setAttribute('aria-busy', 'true');
  let message = '', bad = true;
  try {
    const res = await fetch('api/control', {
      method: 'POST', cache: 'no-store', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
    });
    const answer = await res.json().catch(() => null);
    const error = answer && typeof answer.error === 'string' ? str(answer.error) : '';
    if (res.ok) {
      // The answer is the source's state: show its pause at once rather than
      // at the next state event.
      const panel = panels.get(body.source);
      if (panel && !error && typeof answer.paused === 'boolean') showPaused(panel, answer.paused);
      bad = Boolean(error);
      message = error || `${first('done')}: ${first(body.action)}`;
    } else {
      message = REFUSALS[res.status] ? text(REFUSALS[res.status]) : `${text('eHttp')} (${res.status})`;
      if (error) message += ': ' + error;
    }
  } catch (_) {
    message = text('eNetwork');
  }
  button.removeAttribute('aria-busy');
  say(out, message, bad);
}

$('copy-url').addEventListener('click', async () => {
  const input = $('page-url');
  let copied = false;
  try {
    await navigator.clipboard.writeText(input.value);
    copied = true;
  } catch (_) {
    // Browser docks may have no clipboard API: copy the selection instead.
    input.focus();
    input.select();
    try { copied = document.execCommand('copy'); } catch (_) { copied = false; }
  }
  say($('copy-answer'), text(copied ? 'copied' : 'copyFailed'), !copied);
});

// The dock help starts open in a window and folded in a narrow dock (it has
// done its job there), and then stays as the streamer leaves it.
const dock = $('dock');
let dockHelp = null;
try { dockHelp = localStorage.getItem('dock-help'); } catch (_) { /* storage off */ }
dock.open = dockHelp ? dockHelp === 'open' : window.innerWidth >= 600;
dock.addEventListener('toggle', () => {
  try { localStorage.setItem('dock-help', dock.open ? 'open' : 'closed'); } catch (_) { /* not kept */ }
});

relabel();
$('page-url').value = location.href.split('#')[0];
connect();
