// The page: studies in, settings, the run in Web Workers on the engine (pool.js), results out. Every
// number shown and every file offered for download is the engine's own text; this script only
// places it on the page.
const ENGINE_SOURCE = '/*OSKEV_ENGINE*/';
const EXAMPLES = '/*OSKEV_EXAMPLES*/';

const $ = (id) => document.getElementById(id);
const state = { pool: null, running: false, progressShown: 0, sourceName: 'studies.csv', fileBytes: null, urls: [] };

// ---- the workers ---------------------------------------------------------------------------
// At most a few times a second: each change lays out the page again, which, with a long table
// of studies in the text box, would take the time of a core from the workers.
function showProgress(done, total, share, shareOfNext, working) {
  const bar = $('progress');
  if (bar.dataset.workers !== String(working)) bar.dataset.workers = String(working);
  const now = performance.now();
  if (now - state.progressShown < 250) return;
  state.progressShown = now;
  bar.max = total;
  bar.value = Math.min(total, done + share);
  const next = shareOfNext > 0 && done < total ? `, ${Math.floor(100 * shareOfNext)}% of the next` : '';
  $('progress-label').textContent = `Analysed ${done} of ${total} meta-analyses${next}`;
}

function startPool() {
  state.pool = createPool(ENGINE_SOURCE, {
    onReady: updateButtons,
    onProgress: showProgress,
    onDone: (message) => finishRun(() => showResults(message)),
    onFailed: (text) => finishRun(() => showProblem(text)),
  });
  updateButtons();
}

function updateButtons() {
  $('run').disabled = !state.pool || !state.pool.ready || state.running;
  $('cancel').disabled = !state.running;
}

// ---- input ---------------------------------------------------------------------------------
function mode() { return document.querySelector('input[name="mode"]:checked').value; }

function setMode(value) {
  document.querySelector(`input[name="mode"][value="${value}"]`).checked = true;
  $('text-mode').hidden = value !== 'text';
  $('table-mode').hidden = value !== 'table';
}

function setText(text, name) {
  setMode('text');
  $('studies-text').value = text;
  state.sourceName = name;
  state.fileBytes = null;
  $('source-name').textContent = name;
}

async function takeFile(file) {
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  // A name the command reads as a file: never standard input ("-") nor an option.
  setText(new TextDecoder().decode(bytes), (file.name.replace(/[\\/\n]/g, '_') || 'studies.csv').replace(/^-/, '_'));
  // The file's own bytes are analysed, as the command reads them, while the text is unchanged.
  state.fileBytes = bytes;
}

const tableColumns = ['meta', 'study', 'e1', 's1', 'e2', 's2'];
const tableNames = ['Meta-analysis', 'Study', 'Events, arm 1', 'Subjects, arm 1', 'Events, arm 2', 'Subjects, arm 2'];

function addRow(values = {}) {
  const body = $('edit-table').tBodies[0];
  const row = body.insertRow();
  tableColumns.forEach((column, i) => {
    const input = document.createElement('input');
    input.value = values[column] ?? '';
    input.dataset.column = column;
    if (i >= 2) input.inputMode = 'numeric';
    row.insertCell().append(input);
  });
  const remove = document.createElement('button');
  remove.type = 'button';
  remove.textContent = 'Remove';
  row.insertCell().append(remove);
  const relabel = () => {
    [...body.rows].forEach((r, n) => {
      [...r.querySelectorAll('input')].forEach((input, i) => input.setAttribute('aria-label', `${tableNames[i]}, study ${n + 1}`));
      r.querySelector('button').setAttribute('aria-label', `Remove study ${n + 1}`);
    });
  };
  remove.addEventListener('click', () => {
    const next = row.nextElementSibling || row.previousElementSibling;
    row.remove();
    relabel();
    (next ? next.querySelector('button') : $('add-row')).focus();
  });
  relabel();
  return row;
}

function csvField(text) { return /[",\r\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text; }

function tableText() {
  const rows = [...$('edit-table').tBodies[0].rows].map((row) => [...row.querySelectorAll('input')].map((i) => i.value.trim()));
  const grouped = rows.some((cells) => cells[0] !== '');
  const columns = grouped ? tableColumns : tableColumns.slice(1);
  const lines = [columns.join(',')];
  for (const cells of rows) lines.push((grouped ? cells : cells.slice(1)).map(csvField).join(','));
  return { text: lines.join('\n') + '\n', grouped };
}

// ---- settings ------------------------------------------------------------------------------
function settingsArguments() {
  const args = ['--runs', $('runs').value.trim(), '--cc-one', $('cc-one').value.trim(), '--cc-both', $('cc-both').value.trim(),
    '--type', $('type').value, '--level', $('level').value.trim()];
  const seed = $('seed').value.trim();
  if (seed !== '') args.push('--seed', seed);
  const stop = $('stop-after').value.trim();
  if (stop !== '') args.push('--stop-after', stop);
  return args;
}

// ---- running -------------------------------------------------------------------------------
function run() {
  if (!state.pool.ready || state.running) return;
  clearOutput();
  let name = state.sourceName;
  let bytes;
  if (mode() === 'table') {
    name = 'studies.csv';
    bytes = new TextEncoder().encode(tableText().text);
  } else {
    bytes = state.fileBytes || new TextEncoder().encode($('studies-text').value);
  }
  const args = [...settingsArguments(), name];
  state.lastRun = { name, args, mode: mode(), text: new TextDecoder().decode(bytes) };
  state.running = true;
  $('progress-area').hidden = false;
  $('progress').removeAttribute('value');
  $('progress-label').textContent = 'Working';
  $('status').textContent = 'Analysing...';
  updateButtons();
  state.pool.run([{ name, bytes }], args);
}

function finishRun(show) {
  state.running = false;
  $('progress-area').hidden = true;
  updateButtons();
  show();
}

function cancel() {
  if (!state.running) return;
  state.running = false;
  state.pool.cancel();
  $('progress-area').hidden = true;
  clearOutput();
  $('status').textContent = 'Cancelled: nothing was computed.';
  $('run').focus();
}

function clearOutput() {
  for (const url of state.urls) URL.revokeObjectURL(url);
  state.urls = [];
  $('results').hidden = true;
  $('problem').textContent = '';
  $('status').textContent = '';
  for (const id of ['downloads', 'verdicts', 'pictures']) $(id).replaceChildren();
  $('results-table').tHead.replaceChildren();
  $('results-table').tBodies[0].replaceChildren();
  for (const input of document.querySelectorAll('#edit-table input.bad')) { input.classList.remove('bad'); input.removeAttribute('aria-invalid'); }
}

function showProblem(text) {
  $('status').textContent = '';
  $('problem').textContent = text;
}

// "FILE:LINE:COLUMN: message" of a cell that cannot be read, told in words: the row and the
// cell of the table (counted as the header counts them), and in the typed table the cell itself.
function describeInputError(report, run) {
  const prefix = `oskev analyse: ${run.name}:`;
  const rest = report.startsWith(prefix) ? report.slice(prefix.length) : null;
  const match = rest && /^(\d+):(?:(\d+):)? ?(.*)$/s.exec(rest);
  if (!match) return report.replace(/^oskev analyse: /, '');
  const line = Number(match[1]);
  const character = match[2] ? Number(match[2]) : 0;
  const message = match[3].trim();
  const lines = run.text.split(/\r\n|\r|\n/);
  const header = lines[0] ?? '';
  const separator = header.includes('\t') ? '\t' : ',';
  const isHeaderTable = !/^[\s\d,+-]*$/.test(header);
  let cell = 0;
  if (character > 0 && isHeaderTable) {
    const text = [...(lines[line - 1] ?? '')];
    let quoted = false;
    cell = 1;
    for (let i = 0; i < Math.min(character - 1, text.length); ++i) {
      if (text[i] === '"') quoted = !quoted;
      else if (text[i] === separator && !quoted) ++cell;
    }
  }
  let words = `Line ${line}`;
  if (isHeaderTable && line > 1) words = `Row ${line - 1} of the studies (line ${line})`;
  if (cell > 0) {
    const names = header.split(separator);
    const columnName = (names[cell - 1] ?? '').replace(/^"|"$/g, '').trim();
    words += `, column ${cell}${columnName ? ` (${columnName})` : ''}`;
  } else if (character > 0) {
    words += `, character ${character}`;
  }
  if (run.mode === 'table' && line > 1 && cell > 0) {
    const grouped = tableText().grouped;
    const row = $('edit-table').tBodies[0].rows[line - 2];
    const input = row && row.querySelectorAll('input')[cell - 1 + (grouped ? 0 : 1)];
    if (input) { input.classList.add('bad'); input.setAttribute('aria-invalid', 'true'); }
  }
  return `${words}: ${message}.`;
}

// ---- results -------------------------------------------------------------------------------
// A link that downloads `bytes`. Its file is made when it is first wanted (pointed at, focused,
// clicked, or its picture shown): a batch of a thousand pictures would otherwise hold up the
// page with a thousand files made at once. Until then it points to the results.
function download(bytes, name, label, type) {
  const link = document.createElement('a');
  link.href = '#results';
  link.download = name;
  link.className = 'download';
  link.textContent = label;
  link.file = () => {
    if (!link.madeFile) {
      link.madeFile = URL.createObjectURL(new Blob([bytes], { type }));
      state.urls.push(link.madeFile);
      link.href = link.madeFile;
    }
    return link.madeFile;
  };
  for (const wanted of ['pointerenter', 'focus']) link.addEventListener(wanted, link.file, { once: true });
  // A click that comes before the file was made (no pointer over the link, no focus on it
  // first) makes it and clicks again, now on the file's address.
  link.addEventListener('click', (event) => {
    if (link.href === link.madeFile) return;
    event.preventDefault();
    link.file();
    link.click();
  });
  return link;
}

// The engine's aligned table, split into its columns by the rule of dashes under the header.
function tableCells(text) {
  const lines = text.split('\n');
  const rule = lines.findIndex((l) => /^-[- ]*$/.test(l));
  if (rule < 1) return null;
  const dashes = [...lines[rule]];
  const spans = [];
  for (let i = 0; i < dashes.length; ++i) {
    if (dashes[i] === '-' && (i === 0 || dashes[i - 1] === ' ')) spans.push([i, i]);
    if (dashes[i] === '-') spans[spans.length - 1][1] = i + 1;
  }
  const cut = (line, index) => {
    const chars = [...line];
    const end = index + 1 < spans.length ? spans[index + 1][0] : chars.length;
    return chars.slice(spans[index][0], end).join('').trim();
  };
  const head = spans.map((_, i) => cut(lines[rule - 1], i));
  const rows = [];
  for (let r = rule + 1; r < lines.length && lines[r] !== ''; ++r) rows.push(spans.map((_, i) => cut(lines[r], i)));
  return { head, rows, settings: lines.slice(0, rule - 1).filter((l) => l !== '') };
}

function verdict(entry) {
  const li = document.createElement('li');
  const r = entry.results;
  const name = entry.name;
  if (entry.status !== 'ok' || !r) {
    li.textContent = `${name}: not analysed (${entry.status}${entry.message ? `: ${entry.message}` : ''}).`;
  } else if (typeof r.q === 'string' || r.p_left === 'NaN') {
    li.textContent = `${name}: the observed Q is not a number, so the left-sided P-value says nothing.`;
  } else if (r.p_left < 0.05) {
    li.className = 'verdict-strong';
    li.textContent = `${name}: agreement better than chance would allow: only ${r.not_above} of ${r.runs} runs agree as closely (P left ${r.p_left}).`;
  } else {
    li.textContent = `${name}: no sign of agreement better than chance (${r.not_above} of ${r.runs} runs agree as closely; P left ${r.p_left}).`;
  }
  return li;
}

function fileName(name) { return name.replace(/[^A-Za-z0-9._-]/g, '_').replace(/^\./, '_') || '_'; }

function showResults(message) {
  const run = state.lastRun;
  if (message.status === 64 || message.status === 70) {
    const said = message.errors.split('\n').filter((l) => l !== '' && !l.startsWith('Try ')).map((l) => l.replace(/^oskev analyse: /, ''));
    const text = said.join(' ') || 'The settings cannot be used.';
    showProblem(`${text}${/[.!?]$/.test(text) ? '' : '.'} Nothing was computed.`);
    return;
  }
  if (message.status === 2 || message.csv === null) {
    showProblem(`${describeInputError(message.errors.trim(), run)} Nothing was computed.`);
    return;
  }
  const json = JSON.parse(new TextDecoder().decode(message.json));
  const entries = json.meta_analyses;
  const seed = message.seed;
  const shown = run.args.filter((a, i, all) => !(a === '--seed' || all[i - 1] === '--seed'));
  shown.splice(shown.length - 1, 0, '--seed', seed);
  $('repeat').innerHTML = '';
  $('repeat').append(`Seed used: `, Object.assign(document.createElement('strong'), { id: 'seed-used', textContent: seed }),
    '. The same results come from ', Object.assign(document.createElement('code'), { textContent: `oskev analyse ${shown.join(' ')}` }),
    ` with the studies saved as ${run.name}.`);
  $('downloads').append(download(message.csv, 'results.csv', 'Download results (CSV)', 'text/csv'),
    download(message.json, 'results.json', 'Download results (JSON)', 'application/json'));
  entries.forEach((entry) => $('verdicts').append(verdict(entry)));

  const cells = tableCells(message.table);
  if (cells) {
    // The left-sided P-value and its interval first, then the table's own order.
    const first = [/^name$/, /^P left$/, /CI of P left$/, /^b\/m$/].map((h) => cells.head.findIndex((c) => h.test(c))).filter((i) => i >= 0);
    const order = [...first, ...cells.head.map((_, i) => i).filter((i) => !first.includes(i))];
    const headRow = $('results-table').tHead.insertRow();
    for (const i of order) {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = cells.head[i];
      th.className = i === order[0] ? 'name' : (first.includes(i) ? 'first' : '');
      headRow.append(th);
    }
    cells.rows.forEach((row, r) => {
      const tr = $('results-table').tBodies[0].insertRow();
      const failed = entries[r] && entries[r].status !== 'ok';
      for (const i of order) {
        const td = (i === order[0]) ? document.createElement('th') : document.createElement('td');
        if (i === order[0]) td.scope = 'row';
        td.textContent = failed && i > order[0] && cells.head[i] !== 'k' ? '' : row[i];
        td.className = i === order[0] ? 'name' : (first.includes(i) ? 'first' : '');
        tr.append(td);
      }
    });
  }
  $('results-text').textContent = message.table;

  const plots = new Map(message.plots.map((p) => [p.index, p.svg]));
  entries.forEach((entry, i) => {
    const svg = plots.get(i + 1);
    if (!svg) return;
    const figure = document.createElement('figure');
    const caption = document.createElement('figcaption');
    caption.textContent = `${entry.name} `;
    const name = `${i + 1}-${fileName(entry.name)}.svg`;
    caption.append(download(svg, name, `Download picture (SVG)`, 'image/svg+xml'));
    caption.lastChild.setAttribute('aria-label', `Download the picture of ${entry.name} (SVG)`);
    figure.append(caption);
    const place = () => {
      const image = document.createElement('img');
      image.alt = `Forest plot of the studies of ${entry.name} and the null distribution of Q`;
      image.src = caption.querySelector('a').file();
      image.decoding = 'async';
      figure.append(image);
    };
    if (i < 12) place();
    else {
      const more = document.createElement('button');
      more.type = 'button';
      more.textContent = `Show the picture of ${entry.name}`;
      more.addEventListener('click', () => { more.remove(); place(); });
      figure.append(more);
    }
    $('pictures').append(figure);
  });
  const failedCount = entries.filter((e) => e.status !== 'ok').length;
  $('status').textContent = `Analysed ${entries.length - failedCount} of ${entries.length} meta-analyses.`;
  // How many workers analysed a share, for whoever measures the page.
  $('status').dataset.workers = String(message.workers);
  $('results').hidden = false;
}

// ---- wiring --------------------------------------------------------------------------------
$('example-bcg').addEventListener('click', () => setText(EXAMPLES.bcg, 'study.txt'));
$('example-six').addEventListener('click', () => setText(EXAMPLES.six, 'meta-analyses.csv'));
for (const radio of document.querySelectorAll('input[name="mode"]')) radio.addEventListener('change', () => setMode(mode()));
$('studies-text').addEventListener('input', () => { state.fileBytes = null; });
$('studies-file').addEventListener('change', (event) => takeFile(event.target.files[0]));
const drop = $('drop-zone');
drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => { event.preventDefault(); drop.classList.remove('over'); takeFile(event.dataTransfer.files[0]); });
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', (event) => { event.preventDefault(); if (event.dataTransfer.files[0]) takeFile(event.dataTransfer.files[0]); });
$('add-row').addEventListener('click', () => addRow().querySelector('input').focus());
$('run').addEventListener('click', run);
$('cancel').addEventListener('click', cancel);
for (let i = 0; i < 3; ++i) addRow();
startPool();
