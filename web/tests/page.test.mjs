// The web page in a real browser (Debian's chromium): every number and every file it gives
// equals what the native `oskev analyse` of the same tree gives for the same input, settings
// and seed, also with the meta-analyses spread over several workers; bad input is shown at its
// cell; Cancel ends every worker and leaves the page usable; no caption runs off a phone's
// screen; nothing leaves the page's own origin; axe-core finds no serious or critical violation.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { launch, serve, nativeAnalyse, tableCells, downloadBytes, reportDifferences, root, pageFileUrl } from './support.mjs';

const six = readFileSync(join(root, 'examples', 'meta-analyses', 'meta-analyses.csv'), 'utf8');
const axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

let browser;
let server;
const foreign = [];  // requests to any origin but the page's own

before(async () => {
  browser = await launch();
  server = await serve();
  const own = new URL(server.url).origin;
  await browser.route('**/*', (route) => {
    const url = new URL(route.request().url());
    const local = url.protocol === 'file:' || url.protocol === 'blob:' || url.protocol === 'data:' || url.origin === own;
    if (!local) {
      foreign.push(url.href);
      return route.abort();
    }
    return route.continue();
  });
});

after(async () => {
  await browser?.close();
  await server?.close();
});

// The page, with as many cores as the browser says the machine has (`cores`, when given).
async function openPage(url, cores) {
  const page = await browser.newPage();
  if (cores) await page.addInitScript((n) => Object.defineProperty(navigator, 'hardwareConcurrency', { get: () => n }), cores);
  const problems = [];
  page.on('pageerror', (error) => problems.push(String(error)));
  await page.goto(url);
  await page.waitForFunction(() => !document.getElementById('run').disabled);
  page.problems = problems;
  return page;
}

async function setSettings(page, settings) {
  for (const [id, value] of Object.entries(settings)) {
    if (id === 'type') await page.selectOption('#type', value);
    else await page.fill(`#${id}`, value);
  }
}

async function analyse(page) {
  await page.click('#run');
  await page.waitForFunction(() => !document.getElementById('results').hidden || document.getElementById('problem').textContent !== '');
}

function settingsArgs(s) {
  const args = ['--runs', s.runs, '--cc-one', s['cc-one'] ?? '0.5', '--cc-both', s['cc-both'] ?? '0.5', '--type', s.type ?? 'fixed', '--seed', s.seed];
  if (s.level) args.push('--level', s.level);
  if (s['stop-after']) args.push('--stop-after', s['stop-after']);
  return args;
}

// Every cell of the page's results table, and every file it offers, against the native program.
async function checkAgainstNative(page, settings, name, text) {
  const native = nativeAnalyse(settingsArgs(settings), name, text);
  assert.equal(native.csv.status, 0, native.csv.stderr);
  assert.equal(await page.textContent('#seed-used'), settings.seed);
  assert.deepEqual(reportDifferences('table', Buffer.from(await page.textContent('#results-text')), native.table.stdout), []);

  const expected = tableCells(native.table.stdout.toString());
  const head = await page.$$eval('#results-table thead th', (cells) => cells.map((c) => c.textContent));
  const rows = await page.$$eval('#results-table tbody tr', (trs) => trs.map((tr) => [...tr.children].map((c) => c.textContent)));
  assert.deepEqual([...head].sort(), [...expected.head].sort());
  assert.deepEqual(head.slice(0, 2), ['name', 'P left']);
  assert.match(head[2], /CI of P left$/);
  assert.equal(rows.length, expected.rows.length);
  rows.forEach((row, r) => head.forEach((column, c) => {
    const want = expected.rows[r][expected.head.indexOf(column)];
    if (/CI of P left$/.test(column)) assert.deepEqual(reportDifferences('table', Buffer.from(row[c]), Buffer.from(want)), [], `${column}, row ${r + 1}`);
    else assert.equal(row[c], want, `${column}, row ${r + 1}`);
  }));

  const csv = await downloadBytes(page, page.getByRole('link', { name: 'Download results (CSV)' }));
  assert.deepEqual(reportDifferences('csv', csv, native.csv.stdout), [], 'the CSV is the command\'s');
  const json = await downloadBytes(page, page.getByRole('link', { name: 'Download results (JSON)' }));
  assert.deepEqual(reportDifferences('json', json, native.json.stdout), [], 'the JSON is the command\'s');
  const pictures = page.locator('#pictures figure a.download');
  assert.equal(await pictures.count(), native.plots.length);
  for (let i = 0; i < native.plots.length; ++i) {
    const svg = await downloadBytes(page, pictures.nth(i));
    assert.ok(svg.equals(native.plots[i].svg), `picture ${i + 1} is byte for byte the command's`);
  }
  return JSON.parse(json.toString());
}

test('the six published meta-analyses, pasted, from a file on disk, equal the command', async () => {
  const page = await openPage(pageFileUrl);
  await page.fill('#studies-text', six);
  const settings = { runs: '2000', seed: '20261208' };
  await setSettings(page, settings);
  await analyse(page);
  assert.equal(await page.textContent('#problem'), '');
  const json = await checkAgainstNative(page, settings, 'studies.csv', six);
  const verdicts = await page.$$eval('#verdicts li', (items) => items.map((li) => li.textContent));
  assert.equal(verdicts.length, 6);
  assert.match(verdicts[1], /^warfarin: no sign of agreement better than chance \(\d+ of 2000 runs/);
  assert.equal(json.meta_analyses.length, 6);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('the bundled examples from a local server, under random prevalence and sequential stopping', async () => {
  const page = await openPage(server.url);
  await page.click('#example-bcg');
  let settings = { runs: '3000', seed: '4711', type: 'random', 'cc-one': '0.25' };
  await setSettings(page, settings);
  await analyse(page);
  await checkAgainstNative(page, settings, 'study.txt', readFileSync(join(root, 'examples', 'bcg', 'study.txt')));
  await page.click('#example-six');
  settings = { runs: '5000', seed: '99', type: 'fixed', 'cc-one': '0.5', 'stop-after': '50', level: '90' };
  await setSettings(page, settings);
  await analyse(page);
  await checkAgainstNative(page, settings, 'meta-analyses.csv', six);
  await page.close();
});

test('without a seed the clock gives one, shown, that repeats the result', async () => {
  const page = await openPage(server.url);
  await page.click('#example-bcg');
  await setSettings(page, { runs: '500', seed: '' });
  await analyse(page);
  const seed = await page.textContent('#seed-used');
  assert.match(seed, /^[1-9]\d*$/);
  await checkAgainstNative(page, { runs: '500', seed }, 'study.txt', readFileSync(join(root, 'examples', 'bcg', 'study.txt')));
  await page.close();
});

test('a bad cell is shown at its row and column, and nothing is computed', async () => {
  const page = await openPage(pageFileUrl);
  await page.fill('#studies-text', 'study,ai,n1i,ci,n2i\nA,4,123,11,139\nB,6,3o6,29,303\n');
  await setSettings(page, { runs: '100', seed: '1' });
  await analyse(page);
  assert.equal(await page.textContent('#problem'),
    'Row 2 of the studies (line 3), column 3 (n1i): "3o6" in column n1i is not a whole number. Nothing was computed.');
  assert.equal(await page.isHidden('#results'), true);
  // The same in the typed table, where the cell itself is marked.
  await page.check('input[name="mode"][value="table"]');
  const cells = page.locator('#edit-table tbody input');
  const values = ['', 'A', '4', '123', '11', '139', '', 'B', '6', '306', '29', '303', '', 'C', '5', '-', '7', '80'];
  for (let i = 0; i < values.length; ++i) await cells.nth(i).fill(values[i]);
  await analyse(page);
  assert.match(await page.textContent('#problem'), /^Row 3 of the studies \(line 4\), column 3 \(s1\): /);
  assert.equal(await cells.nth(15).getAttribute('aria-invalid'), 'true');
  // A setting out of range is told as the command tells it, and nothing is computed.
  await setSettings(page, { runs: '0' });
  await analyse(page);
  assert.equal(await page.textContent('#problem'), '--runs: Value 0 not in range 1 to 2147483647. Nothing was computed.');
  await setSettings(page, { runs: '100' });
  await cells.nth(15).fill('60');
  await analyse(page);
  assert.equal(await page.textContent('#problem'), '');
  assert.equal(await page.isVisible('#results'), true);
  await page.close();
});

test('a batch spread over three workers equals the command, with a seed given or from the clock', async () => {
  const page = await openPage(pageFileUrl, 3);
  await page.fill('#studies-text', six);
  // The first batch starts the two helpers; the later ones find them ready, and each of the
  // three workers takes a share of the six meta-analyses from the start.
  const cases = [
    { runs: '100000', seed: '777' },
    { runs: '20000', seed: '' },
    { runs: '20000', seed: '4242', type: 'random', 'stop-after': '30', level: '90' },
  ];
  for (const [k, settings] of cases.entries()) {
    await setSettings(page, settings);
    await analyse(page);
    const seed = await page.textContent('#seed-used');
    assert.match(seed, /^[1-9]\d*$/);
    await checkAgainstNative(page, { ...settings, seed }, 'studies.csv', six);
    const workers = Number(await page.getAttribute('#status', 'data-workers'));
    assert.ok(workers >= 1 && workers <= 3, `case ${k + 1}: ${workers} workers`);
    if (k > 0) assert.ok(workers >= 2, `case ${k + 1}: the meta-analyses were spread over ${workers} workers`);
  }
  assert.deepEqual(page.problems, []);
  await page.close();
});

for (const cores of [1, 3]) {
  test(`Cancel stops a long run on ${cores} worker(s) at once, shows nothing of it, and the page runs again`, async () => {
    const page = await openPage(server.url, cores);
    await page.click('#example-six');
    await setSettings(page, { runs: '20000000', seed: '5' });
    await page.click('#run');
    // Every worker holds a share (a helper starts its engine first).
    await page.waitForSelector(`#progress-area:not([hidden]) #progress[data-workers="${cores}"]`);
    assert.equal(await page.isEnabled('#cancel'), true);
    await page.click('#cancel');
    assert.equal(await page.textContent('#status'), 'Cancelled: nothing was computed.');
    assert.equal(await page.isHidden('#results'), true);
    const settings = { runs: '300', seed: '5' };
    await setSettings(page, settings);
    await page.waitForFunction(() => !document.getElementById('run').disabled);
    await analyse(page);
    await checkAgainstNative(page, settings, 'meta-analyses.csv', six);
    assert.deepEqual(page.problems, []);
    await page.close();
  });
}

test('on a phone\'s screen, also at 200% zoom, no caption runs out of sight', async () => {
  const long = 'Streptokinase_versus_placebo_in_acute_myocardial_infarction_all_trials';
  const text = `${six}${long},A,4,123,11,139\n${long},B,6,306,29,303\n`;
  const page = await openPage(pageFileUrl);
  await page.fill('#studies-text', text);
  await setSettings(page, { runs: '200', seed: '3' });
  await analyse(page);
  await page.check('input[name="mode"][value="table"]');
  await page.check('input[name="mode"][value="text"]');
  await page.evaluate(() => { for (const d of document.querySelectorAll('details')) d.open = true; });
  // 360 and 400 pixels wide, and the same at 200% zoom (half as many CSS pixels).
  for (const width of [360, 400, 180, 200]) {
    await page.setViewportSize({ width, height: 800 });
    for (const mode of ['text', 'table']) {
      await page.check(`input[name="mode"][value="${mode}"]`);
      const clipped = await page.$$eval('caption, figcaption, .table-caption, legend, summary, label', (all) => all
        .filter((e) => e.getClientRects().length > 0)
        .filter((e) => {
          const box = e.getBoundingClientRect();
          return box.left < -0.5 || box.right > document.documentElement.clientWidth + 0.5 || (e.clientWidth > 0 && e.scrollWidth > e.clientWidth + 1);
        })
        .map((e) => `${e.tagName.toLowerCase()}${e.id ? `#${e.id}` : ''}: ${e.textContent.slice(0, 40)}`));
      assert.deepEqual(clipped, [], `${width} px, ${mode}`);
    }
  }
  await page.close();
});

test('no serious or critical accessibility violation, with results shown', async () => {
  const page = await openPage(server.url);
  await page.click('#example-six');
  await setSettings(page, { runs: '200', seed: '3' });
  await analyse(page);
  await page.evaluate(axeSource);
  const found = await page.evaluate(async () => (await window.axe.run(document, { runOnly: ['wcag2a', 'wcag2aa', 'wcag21aa', 'best-practice'] })).violations
    .filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
  assert.deepEqual(found, []);
  await page.close();
});

test('no request left the page\'s own origin', () => {
  assert.deepEqual(foreign, []);
});
