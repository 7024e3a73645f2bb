// The fleet page: every machine of the rack from the collector's records
// folder, as nginx lists it (autoindex_format json). For each machine the
// latest run (run names start with the boot's time in UTC, so the last by
// name), its live state (state.json) and its record (report.json).
//
// How long a machine has been silent is measured on the collector's clock
// alone: the newest file of its run as the listing dates it, against the
// Date of that listing. A machine's own clock may be anything after a
// cold boot; the browser's may be another's.
'use strict';

const STALE_SECONDS = 180;
const REFRESH_SECONDS = 30;

// The records folder: "records/" beside the page, or ?records=/path/.
function recordsFolder() {
  let folder = new URLSearchParams(location.search).get('records') || 'records/';
  return folder.endsWith('/') ? folder : folder + '/';
}

async function listing(url) {
  const res = await fetch(url, {cache: 'no-store'});
  if (!res.ok) throw new Error(url + ': ' + res.status + ' ' + res.statusText);
  const date = Date.parse(res.headers.get('Date'));
  return {entries: await res.json(), now: isNaN(date) ? Date.now() : date};
}

async function readJson(url) {
  try {
    const res = await fetch(url, {cache: 'no-store'});
    return res.ok ? await res.json() : null;
  } catch (e) {
    return null;
  }
}

async function machine(records, name) {
  const base = records + encodeURIComponent(name) + '/';
  const runs = (await listing(base)).entries.filter(e => e.type === 'directory').map(e => e.name).sort();
  const m = {name, base, runs: runs.length, files: [], state: null, report: null, age: null};
  if (!runs.length) return m;
  m.run = runs[runs.length - 1];
  m.folder = base + encodeURIComponent(m.run) + '/';
  const list = await listing(m.folder);
  m.files = list.entries.filter(e => e.type === 'file').sort((a, b) => a.name.localeCompare(b.name));
  const has = n => m.files.some(f => f.name === n);
  [m.state, m.report] = await Promise.all([
    has('state.json') ? readJson(m.folder + 'state.json') : null,
    has('report.json') ? readJson(m.folder + 'report.json') : null]);
  const times = m.files.map(f => Date.parse(f.mtime)).filter(t => !isNaN(t));
  if (times.length) m.age = Math.max(0, Math.round((list.now - Math.max(...times)) / 1000));
  return m;
}

// ---- what each cell says

function identity(m) {
  const s = m.report && m.report.machine && m.report.machine.system;
  const what = s ? [s.vendor, s.product].filter(Boolean).join(' ') : '';
  const run = m.run ? 'run ' + m.run + (m.runs > 1 ? ' (' + m.runs + ' runs)' : '') : 'no run yet';
  return [m.name, [what, run].filter(Boolean).join(', ')];
}

function step(m) {
  const st = m.state;
  if (!st) return [m.report ? 'copy made' : '-', 'no live state'];
  const parts = [st.automation ? 'automation ' + st.automation : '', st.next ? 'next ' + st.next : '',
                 st.time_left != null ? Math.ceil(st.time_left / 60) + ' min left' : ''];
  return [st.step || '-', parts.filter(Boolean).join(', ')];
}

function passes(m) {
  const st = m.state, b = m.report && m.report.burnin;
  let p = st && st.passes;
  if (!p && b) p = {network: b.network.passes_completed, disk: b.disk.passes_completed};
  const text = p ? 'network ' + (p.network ?? '-') + ', disk ' + (p.disk ?? '-') : '-';
  const rows = st ? [st.network ? 'NETWORK ' + st.network : '', st.disk ? 'DISK ' + st.disk : ''] : [];
  return [text, rows.filter(Boolean).join('; ')];
}

// What failed, from the record: the ports and disks that failed, each named.
function failures(b) {
  const out = [];
  if (b.network.result && b.network.result !== 'PASSED') {
    const bad = b.network.ports.filter(p => p.bad).map(p => p.name + (p.worst != null ? ' ' + p.worst + '%' : ''));
    out.push('network ' + b.network.result + (bad.length ? ': port ' + bad.join(', ') : ''));
  }
  if (b.disk.result && b.disk.result !== 'PASSED') {
    const bad = b.disk.devices.filter(d => d.failures.length).map(d => d.name);
    out.push('disk ' + b.disk.result + (bad.length ? ': ' + bad.join(', ') : ''));
  }
  return out.join('; ');
}

function burnin(m) {
  const b = m.report && m.report.burnin;
  const verdict = (m.state && m.state.verdict) || (b && b.verdict) || (m.report && !b ? 'not run' : 'running');
  return [verdict, b && b.verdict === verdict ? failures(b) : ''];
}

function health(m) {
  const h = m.report && m.report.health;
  return h ? [h.verdict, h.items.length ? h.items.length + ' finding' + (h.items.length > 1 ? 's' : '') : '']
           : ['-', 'no record yet'];
}

function ago(s) {
  if (s == null) return 'never';
  if (s < 120) return s + ' s ago';
  if (s < 7200) return Math.round(s / 60) + ' min ago';
  return Math.floor(s / 3600) + ' h ' + Math.round((s % 3600) / 60) + ' min ago';
}

// ---- the table

function cell(tr, className, text, detail) {
  const td = document.createElement('td');
  if (className) td.className = className;
  const main = document.createElement('span');
  main.textContent = text;
  td.appendChild(main);
  if (detail) {
    const d = document.createElement('span');
    d.className = 'detail';
    d.textContent = detail;
    td.appendChild(d);
  }
  tr.appendChild(td);
  return td;
}

function filesCell(tr, m) {
  const td = document.createElement('td');
  td.className = 'files';
  for (const f of m.files) {
    const a = document.createElement('a');
    a.href = m.folder + encodeURIComponent(f.name);
    a.textContent = f.name;
    td.appendChild(a);
  }
  const all = document.createElement('a');
  all.href = m.base;
  all.textContent = 'all runs';
  td.appendChild(all);
  tr.appendChild(td);
}

function row(m) {
  const tr = document.createElement('tr');
  const stale = m.age == null || m.age > STALE_SECONDS;
  tr.dataset.machine = m.name;
  tr.dataset.stale = stale ? 'yes' : 'no';
  if (stale) tr.className = 'stale';
  const [name, who] = identity(m);
  cell(tr, 'machine', name, who).firstChild.style.fontWeight = 'bold';
  cell(tr, 'step', ...step(m));
  cell(tr, 'passes', ...passes(m));
  const [verdict, why] = burnin(m);
  tr.dataset.verdict = verdict;
  cell(tr, 'burnin', verdict, why).firstChild.className = 'verdict-' + verdict;
  const [h, hd] = health(m);
  tr.dataset.health = h;
  cell(tr, 'health', h, hd).firstChild.className = 'health-' + h.split(' ')[0];
  const age = cell(tr, 'age', ago(m.age), '');
  if (stale) {
    const badge = document.createElement('span');
    badge.className = 'badge stale';
    badge.textContent = 'SILENT';
    age.insertBefore(document.createTextNode(' '), age.firstChild);
    age.insertBefore(badge, age.firstChild);
  }
  filesCell(tr, m);
  return tr;
}

function summary(ms) {
  const count = (f) => ms.filter(f).length;
  const n = ms.length;
  return n + ' machine' + (n === 1 ? '' : 's') + ': ' +
    count(m => burnin(m)[0] === 'FAILED') + ' FAILED, ' + count(m => burnin(m)[0] === 'PASSED') + ' PASSED, ' +
    count(m => !['FAILED', 'PASSED'].includes(burnin(m)[0])) + ' without a verdict; ' +
    count(m => m.age == null || m.age > STALE_SECONDS) + ' silent for more than 3 minutes.';
}

async function refresh() {
  const records = recordsFolder();
  const said = document.getElementById('summary');
  try {
    const names = (await listing(records)).entries.filter(e => e.type === 'directory').map(e => e.name).sort();
    const ms = await Promise.all(names.map(n => machine(records, n)));
    const body = document.querySelector('#fleet tbody');
    body.replaceChildren(...ms.map(row));
    said.textContent = summary(ms);
    said.className = '';
    document.body.dataset.loaded = new Date().toISOString();
  } catch (e) {
    said.textContent = 'Cannot read the records at ' + records + ': ' + e.message;
    said.className = 'error';
  }
  setTimeout(refresh, REFRESH_SECONDS * 1000);
}

refresh();
