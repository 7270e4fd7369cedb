// The engine's workers and one run spread over them. The first worker reads the settings and
// the studies (and takes the seed from the clock when none is given); the meta-analyses are
// then handed out in shares, first large and then ever smaller, so that every worker finishes
// at about the same time, to as many workers as the machine has cores (and there are
// meta-analyses). Every worker analyses its share with the first one's seed; the first worker
// renders the rows of all shares, in input order, as one batch.

// The most workers of a run: each holds an engine of its own, and its memory.
const MOST_WORKERS = 16;
// The engine's reports (any sum of them is asked of one worker) and the exit status of a
// batch with a meta-analysis not analysed.
const REPORT_TABLE = 1;
const REPORT_CSV = 2;
const REPORT_JSON = 4;
const EXIT_REFUSED = 3;

function createPool(source, events) {
  const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
  const pool = { workers: [], job: null, ready: false };

  function spawn() {
    // pending: the run of each request not yet answered, oldest first (a worker answers in order).
    const w = { worker: new Worker(url), ready: false, open: false, pending: [], inHand: false, done: 0, share: 0, shares: 0, retired: false };
    w.worker.onmessage = (event) => { if (!w.retired) onMessage(w, event.data); };
    w.worker.onerror = (event) => { if (!w.retired) fail(w, `The engine failed: ${event.message || 'unknown error'}.`); };
    pool.workers.push(w);
    return w;
  }

  // Ends every worker at once (nothing of a run survives them) and starts a fresh first one.
  function restart() {
    for (const w of pool.workers) { w.retired = true; w.worker.terminate(); }
    pool.workers = [];
    pool.job = null;
    pool.ready = false;
    spawn();
    events.onReady(false);
  }

  // A run that fails ends on every worker. A worker that fails between runs (its engine would
  // not start) is left out; without the first one the page has no engine, and says why.
  function fail(w, text) {
    if (pool.job !== null) {
      restart();
      events.onFailed(text);
      return;
    }
    const gone = w === pool.workers[0] ? pool.workers : [w];
    for (const x of gone) { x.retired = true; x.worker.terminate(); }
    pool.workers = pool.workers.filter((x) => !gone.includes(x));
    if (pool.workers.length === 0) {
      pool.ready = false;
      events.onReady(false);
      events.onFailed(text);
    }
  }

  function finish(message) {
    const job = pool.job;
    pool.job = null;
    for (const w of job.workers) if (w.open) { w.worker.postMessage({ kind: 'close' }); w.open = false; }
    events.onDone(message);
  }

  function progress(job) {
    const working = job.workers.filter((w) => w.inHand);
    const done = job.finished + working.reduce((sum, w) => sum + w.done, 0);
    const share = working.reduce((sum, w) => sum + w.share, 0);
    events.onProgress(done, job.count, share, working.length === 1 ? working[0].share : 0, working.length);
  }

  function send(w, job, request, transfer = []) {
    w.pending.push(job);
    w.worker.postMessage(request, transfer);
  }

  function open(w, job, seed) {
    send(w, job, { kind: 'open', files: job.files, args: job.args, seed });
  }

  function handOut(w, job) {
    if (job.next >= job.count) return;
    const left = job.count - job.next;
    const size = Math.max(1, Math.ceil(left / (2 * job.workers.length)));
    send(w, job, { kind: 'shard', first: job.next, end: job.next + size });
    job.next += size;
    w.inHand = true;
  }

  function opened(w, job, message) {
    if (w === job.workers[0] && job.seed === null) {
      if (message.stopped !== null) { finish({ status: message.stopped, errors: message.errors, csv: null }); return; }
      job.count = message.count;
      job.seed = message.seed;
      w.open = true;
      if (job.count === 0) { render(job, []); return; }
      const wanted = Math.min(MOST_WORKERS, job.count, Math.max(1, navigator.hardwareConcurrency || 1));
      while (pool.workers.length < wanted) spawn();
      job.workers = pool.workers.slice(0, wanted);
      for (const helper of job.workers.slice(1)) if (helper.ready) open(helper, job, Number(job.seed));
      handOut(w, job);
      return;
    }
    // A helper reads what the first worker read, with its seed.
    if (message.stopped !== null || message.count !== job.count || message.seed !== job.seed) {
      fail(w, 'The engine failed: a worker read the studies otherwise.');
      return;
    }
    w.open = true;
    handOut(w, job);
  }

  function shardDone(w, job, message) {
    if (message.status !== 0) {
      const said = { status: message.status, errors: message.errors, csv: null };
      restart();
      events.onDone(said);
      return;
    }
    job.parts.set(message.first, message.rows);
    for (const plot of message.plots) job.plots.push(plot);
    job.finished += message.end - message.first;
    w.inHand = false;
    w.done = 0;
    w.share = 0;
    w.shares += 1;
    progress(job);
    if (job.finished === job.count) {
      render(job, [...job.parts.keys()].sort((a, b) => a - b).map((first) => job.parts.get(first)));
    } else {
      handOut(w, job);
    }
  }

  // The reports of the whole batch from the rows of all shares: each is a function of all the
  // rows, so the workers that have the run open make one or two each, side by side (the CSV,
  // which takes longest, apart from the others).
  function render(job, rows) {
    const open = job.workers.filter((x) => x.open);
    const plan = open.length >= 3 ? [REPORT_TABLE, REPORT_CSV, REPORT_JSON]
      : open.length === 2 ? [REPORT_TABLE | REPORT_JSON, REPORT_CSV] : [REPORT_TABLE | REPORT_CSV | REPORT_JSON];
    job.rendering = plan.length;
    job.reports = { status: 0, errors: '', table: null, csv: null, json: null };
    plan.forEach((formats, i) => send(open[i], job, { kind: 'render', rows, formats }));
  }

  // One worker's reports; the run is done with the last of them.
  function rendered(job, message) {
    const reports = job.reports;
    if (reports.status === 0 || (message.status !== 0 && message.status !== EXIT_REFUSED)) {
      reports.status = message.status;
      reports.errors = message.errors;
    }
    for (const format of ['table', 'csv', 'json']) if (message[format] !== null) reports[format] = message[format];
    if (--job.rendering > 0) return;
    const plots = job.plots.sort((a, b) => a.index - b.index);
    const workers = job.workers.filter((x) => x.shares > 0).length;
    finish({ ...reports, seed: job.seed, plots, workers });
  }

  function onMessage(w, message) {
    const job = pool.job;
    if (message.kind === 'ready') {
      w.ready = true;
      if (w === pool.workers[0]) { pool.ready = true; events.onReady(true); }
      if (job && job.seed !== null && job.workers.includes(w) && w !== job.workers[0]) open(w, job, Number(job.seed));
    } else if (message.kind === 'failed') {
      fail(w, `The engine failed: ${message.message}`);
    } else if (message.kind === 'progress') {
      if (!job || w.pending[0] !== job) return;
      w.done = message.done;
      w.share = message.share || 0;
      progress(job);
    } else if (w.pending.shift() !== job || !job) {
      // The answer to a request of a run that has ended.
    } else if (message.kind === 'opened') {
      opened(w, job, message);
    } else if (message.kind === 'shard-done') {
      shardDone(w, job, message);
    } else if (message.kind === 'done') {
      rendered(job, message);
    }
  }

  spawn();
  return {
    get ready() { return pool.ready; },
    // Runs `oskev analyse ARGS` on the files; the events tell how it goes and how it ends.
    run(files, args) {
      const first = pool.workers[0];
      pool.job = { files, args, seed: null, count: 0, next: 0, finished: 0, workers: [first], parts: new Map(), plots: [] };
      for (const w of pool.workers) { w.inHand = false; w.done = 0; w.share = 0; w.shares = 0; }
      open(first, pool.job, 0);
    },
    cancel: restart,
  };
}
