// Puts the web page together as one file: the page, its style and scripts, the engine (the
// WebAssembly inside its JavaScript) and the worker around it, and the bundled examples.
// Usage: node web/build.mjs ENGINE_JS OUTPUT_HTML
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = join(here, '..');
const [engineFile, outputFile] = process.argv.slice(2);
if (!engineFile || !outputFile) {
  console.error('usage: node web/build.mjs ENGINE_JS OUTPUT_HTML');
  process.exit(2);
}
const read = (path) => readFileSync(path, 'utf8');
// A JavaScript string literal that cannot end the script element it stands in.
const literal = (value) => JSON.stringify(value).replace(/</g, '\\u003c');

const engine = `${read(engineFile)}\n${read(join(here, 'page', 'worker.js'))}`;
const examples = {
  bcg: read(join(root, 'examples', 'bcg', 'study.txt')),
  six: read(join(root, 'examples', 'meta-analyses', 'meta-analyses.csv')),
};
// The workers' pool, then the page's own script, in one module script.
const script = `${read(join(here, 'page', 'pool.js'))}\n${read(join(here, 'page', 'app.js'))}`
  .replace("'/*OSKEV_ENGINE*/'", () => literal(engine))
  .replace("'/*OSKEV_EXAMPLES*/'", () => literal(examples));
const page = read(join(here, 'page', 'index.html'))
  .replace('/*OSKEV_STYLE*/', () => read(join(here, 'page', 'style.css')))
  .replace('/*OSKEV_SCRIPT*/', () => script.replace(/<\/script/gi, '<\\/script'));
mkdirSync(dirname(outputFile), { recursive: true });
writeFileSync(outputFile, page);
console.log(`${outputFile}: ${page.length} bytes`);
