// The Web Worker around the engine (the module createOskev, compiled from the C++ sources,
// comes before this text in the worker's source). The page may run several; each takes part in
// one run at a time:
//   {kind: 'open', files: [{name, bytes}], args, seed}   reads the settings and the files
//     -> {kind: 'opened', stopped, count, seed, errors}   (stopped: the exit status, or null)
//   {kind: 'shard', first, end}   analyses meta-analyses first ... end - 1 of the open run
//     -> {kind: 'progress', done, total, share} as it goes, then
//     -> {kind: 'shard-done', first, end, status, errors, rows, plots: [{index, svg}]}
//   {kind: 'render', rows: [bytes of each share, in input order], formats}
//     -> {kind: 'done', status, errors, table, csv, json}   (formats: 1 table, 2 CSV, 4 JSON, or
//        any sum; the others are null)
//   {kind: 'close'}   ends the open run
'use strict';
const enginePromise = createOskev();
enginePromise.then(() => postMessage({ kind: 'ready' }), (error) => postMessage({ kind: 'failed', message: String(error) }));
let run = 0;  // the open run of the engine, or 0
let files = [];

// The bytes the engine wrote (the downloads are these very bytes), or null.
function readBytes(FS, path) {
  try { return FS.readFile(path); } catch (e) { return null; }
}
function readText(FS, path) {
  const bytes = readBytes(FS, path);
  return bytes === null ? null : new TextDecoder().decode(bytes);
}

function close(engine) {
  if (run !== 0) engine.ccall('oskev_close', null, ['number'], [run]);
  run = 0;
  for (const name of files) { try { engine.FS.unlink(name); } catch (e) { /* not written */ } }
  files = [];
}

function open(engine, request) {
  close(engine);
  const FS = engine.FS;
  const folder = '/input';
  try { FS.mkdir(folder); } catch (e) { /* made by an earlier run */ }
  FS.chdir(folder);
  for (const file of request.files) FS.writeFile(file.name, file.bytes);
  files = request.files.map((file) => file.name);
  run = engine.ccall('oskev_open', 'number', ['string', 'number'], [request.args.join('\n'), request.seed || 0]);
  const stopped = engine.ccall('oskev_stopped', 'number', ['number'], [run]);
  const reply = {
    kind: 'opened',
    stopped: stopped < 0 ? null : stopped,
    count: engine.ccall('oskev_count', 'number', ['number'], [run]),
    seed: String(engine.ccall('oskev_seed', 'number', ['number'], [run])),
    errors: readText(FS, '/out/errors.txt') || '',
  };
  if (reply.stopped !== null) close(engine);
  postMessage(reply);
}

function shard(engine, request) {
  const FS = engine.FS;
  const status = engine.ccall('oskev_shard', 'number', ['number', 'number', 'number'], [run, request.first, request.end]);
  const plots = [];
  let names = [];
  try { names = FS.readdir('/out/plots').filter((n) => n.endsWith('.svg')); } catch (e) { names = []; }
  for (const name of names) plots.push({ index: Number(name.slice(0, -4)), svg: readBytes(FS, `/out/plots/${name}`) });
  const rows = readBytes(FS, '/out/rows.bin');
  const reply = { kind: 'shard-done', first: request.first, end: request.end, status, errors: readText(FS, '/out/errors.txt') || '', rows, plots };
  postMessage(reply, [...(rows ? [rows.buffer] : []), ...plots.map((p) => p.svg.buffer)]);
}

function render(engine, request) {
  const FS = engine.FS;
  const size = request.rows.reduce((sum, part) => sum + part.length, 0);
  const joined = new Uint8Array(size);
  let at = 0;
  for (const part of request.rows) { joined.set(part, at); at += part.length; }
  FS.writeFile('/rows.bin', joined);
  const status = engine.ccall('oskev_render', 'number', ['number'], [request.formats]);
  FS.unlink('/rows.bin');
  postMessage({
    kind: 'done',
    status,
    errors: readText(FS, '/out/errors.txt') || '',
    table: readText(FS, '/out/table.txt'),
    csv: readBytes(FS, '/out/results.csv'),
    json: readBytes(FS, '/out/results.json'),
  });
}

onmessage = async (event) => {
  const request = event.data;
  try {
    const engine = await enginePromise;
    if (request.kind === 'open') open(engine, request);
    else if (request.kind === 'shard') shard(engine, request);
    else if (request.kind === 'render') render(engine, request);
    else if (request.kind === 'close') close(engine);
  } catch (error) {
    postMessage({ kind: 'failed', message: String(error && error.stack || error) });
  }
};
