// The Web Worker around the engine (the module createOskev, compiled from the C++ sources,
// comes before this text in the worker's source). One run at a time: the page sends
// {kind: 'run', files: [{name, bytes}], args}, the engine posts {kind: 'progress', done, total}
// as it goes, and this worker answers {kind: 'done', ...} with everything the command wrote.
'use strict';
const enginePromise = createOskev();
enginePromise.then(() => postMessage({ kind: 'ready' }), (error) => postMessage({ kind: 'failed', message: String(error) }));

// The bytes the engine wrote (the downloads are these very bytes), or null.
function readBytes(FS, path) {
  try { return FS.readFile(path); } catch (e) { return null; }
}
function readText(FS, path) {
  const bytes = readBytes(FS, path);
  return bytes === null ? null : new TextDecoder().decode(bytes);
}

onmessage = async (event) => {
  const request = event.data;
  if (request.kind !== 'run') return;
  try {
    const engine = await enginePromise;
    const FS = engine.FS;
    const folder = '/input';
    try { FS.mkdir(folder); } catch (e) { /* made by an earlier run */ }
    FS.chdir(folder);
    for (const file of request.files) FS.writeFile(file.name, file.bytes);
    const status = engine.ccall('oskev_analyse', 'number', ['string'], [request.args.join('\n')]);
    const plots = [];
    const plotFolder = 'out/plots';
    let names = [];
    try { names = FS.readdir(plotFolder).filter((n) => n.endsWith('.svg')); } catch (e) { names = []; }
    for (const name of names) plots.push({ index: Number(name.slice(0, -4)), svg: readBytes(FS, `${plotFolder}/${name}`) });
    plots.sort((a, b) => a.index - b.index);
    const result = {
      kind: 'done',
      status,
      errors: readText(FS, 'out/errors.txt') || '',
      seed: readText(FS, 'out/seed.txt'),
      table: readText(FS, 'out/table.txt'),
      csv: readBytes(FS, 'out/results.csv'),
      json: readBytes(FS, 'out/results.json'),
      plots,
    };
    for (const file of request.files) FS.unlink(file.name);
    postMessage(result);
  } catch (error) {
    postMessage({ kind: 'failed', message: String(error && error.stack || error) });
  }
};
