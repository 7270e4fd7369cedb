// What the browser tests share: Debian's chromium driven by playwright-core, a static server
// on the loopback address, and the native `oskev analyse` of the same tree to compare with.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync, readdirSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

export const root = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');
export const pagePath = resolve(process.env.OSKEV_PAGE || join(root, 'dist', 'oskev.html'));
export const nativeProgram = resolve(process.env.OSKEV || join(root, 'build', 'oskev'));
export const pageFileUrl = pathToFileURL(pagePath).href;

export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), 'oskev-chromium-'));
  return chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// Serves the page's folder, read-only, on 127.0.0.1 at a free port.
export async function serve() {
  const folder = dirname(pagePath);
  const server = createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname).replace(/^\/+/, '');
    if (name.includes('..') || name === '') { response.writeHead(404).end(); return; }
    try {
      const body = readFileSync(join(folder, name));
      response.writeHead(200, { 'content-type': name.endsWith('.html') ? 'text/html; charset=utf-8' : 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const url = `http://127.0.0.1:${server.address().port}/${encodeURIComponent(pagePath.split('/').pop())}`;
  return { url, close: () => new Promise((done) => server.close(done)) };
}

// `oskev analyse ARGS FILE` in a fresh folder holding FILE, as the page names it; returns the
// standard output of each format and the pictures of --plot, as bytes.
export function nativeAnalyse(args, name, text) {
  const folder = mkdtempSync(join(tmpdir(), 'oskev-native-'));
  writeFileSync(join(folder, name), text);
  const run = (extra) => {
    const result = spawnSync(nativeProgram, ['analyse', ...args, ...extra, name], { cwd: folder, maxBuffer: 1 << 28 });
    if (result.error) throw result.error;
    return { status: result.status, stdout: result.stdout, stderr: result.stderr.toString() };
  };
  const table = run(['--jobs', '1']);
  const csv = run(['-f', 'csv']);
  const json = run(['-f', 'json', '--plot', 'plots/{index}.svg']);
  let plots = [];
  try {
    plots = readdirSync(join(folder, 'plots')).map((f) => ({ index: Number(f.slice(0, -4)), svg: readFileSync(join(folder, 'plots', f)) }));
    plots.sort((a, b) => a.index - b.index);
  } catch { plots = []; }
  return { table, csv, json, plots };
}

// The aligned table's columns, cut where the rule of dashes under the header leaves a gap.
export function tableCells(text) {
  const lines = text.split('\n');
  const rule = lines.findIndex((l) => /^-[- ]*$/.test(l));
  const starts = [];
  [...lines[rule]].forEach((c, i, all) => { if (c === '-' && (i === 0 || all[i - 1] === ' ')) starts.push(i); });
  const cut = (line) => starts.map((s, i) => [...line].slice(s, starts[i + 1] ?? undefined).join('').trim());
  const rows = [];
  for (let r = rule + 1; r < lines.length && lines[r] !== ''; ++r) rows.push(cut(lines[r]));
  return { head: cut(lines[rule - 1]), rows };
}

export async function downloadBytes(page, locator) {
  const [download] = await Promise.all([page.waitForEvent('download'), locator.click()]);
  return readFileSync(await download.path());
}

function csvRows(text) {
  const rows = [];
  let row = [''];
  let quoted = false;
  for (let i = 0; i < text.length; ++i) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { row[row.length - 1] += '""'; ++i; } else if (c === '"') { quoted = false; row[row.length - 1] += c; } else row[row.length - 1] += c;
    } else if (c === '"') { quoted = true; row[row.length - 1] += c; } else if (c === ',') row.push(''); else if (c === '\n') { rows.push(row); row = ['']; } else row[row.length - 1] += c;
  }
  return rows;
}

// Whether the page's file equals the command's: returns a list of differences (empty: equal).
export function reportDifferences(kind, pageBytes, nativeBytes) {
  const page = pageBytes.toString('utf8');
  const native = nativeBytes.toString('utf8');
  if (page === native) return [];
  if (kind === 'csv') {
    const [p, n] = [csvRows(page), csvRows(native)];
    if (p.length !== n.length) return ['the number of lines differs'];
    const header = n[0];
    const differences = [];
    p.forEach((row, r) => row.forEach((cell, c) => {
      if (cell !== n[r][c]) differences.push(`line ${r + 1}, ${header[c]}: ${cell} against ${n[r][c]}`);
    }));
    if (p.some((row, r) => row.length !== n[r].length)) differences.push('a line has another number of cells');
    return differences.length > 0 ? differences : ['the bytes differ'];
  }
  let at = 0;
  while (page[at] === native[at]) ++at;
  return [`${kind}: differs from character ${at + 1}: ${JSON.stringify(page.slice(at, at + 40))} against ${JSON.stringify(native.slice(at, at + 40))}`];
}
