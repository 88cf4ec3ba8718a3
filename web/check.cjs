// make web-check: serves the browser build on 127.0.0.1 and plays it in
// headless Chromium and Firefox ESR (Debian's, driven by puppeteer-core, over
// the DevTools protocol and WebDriver BiDi): the click-to-start overlay with
// the version, the loading screen, the demo moving with its audio context
// running, the playback keys (pause, seek, play on, fullscreen), no console
// errors, Q ending the run, and ?shot=T against the native `teq --shot T`,
// both from a cross-origin isolated server (the two-thread build) and from a
// plain one (the one-thread build), and ?shot=T&resolution=2 against
// --resolution 2, ?shot=54&calm against --calm, and the page starting calm
// when the browser asks for reduced motion. With --bench also ?bench (two threads,
// one thread, one thread with the portable loop) beside the native
// single-thread portable `teq --bench`, as ratios, and the browsers' frame
// times side by side.
//   node web/check.cjs --dir build-web --teq build/teq [--shot 45] [--bench] [--shots DIR]
//                      [--browsers chromium,firefox]
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

function options() {
  const o = { dir: 'build-web', teq: 'build/teq', shot: 45, bench: false, shots: null,
              chromium: '/usr/bin/chromium', firefox: '/usr/bin/firefox-esr', browsers: 'chromium,firefox' };
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i++) {
    const key = argv[i].replace(/^--/, '');
    if (key === 'bench') o.bench = true;
    else if (key in o && i + 1 < argv.length) o[key] = key === 'shot' ? Number(argv[++i]) : argv[++i];
    else {
      console.error(`web-check: unknown option ${argv[i]}`);
      process.exit(2);
    }
  }
  if (!o.shots) o.shots = path.join(o.dir, 'check');
  o.browsers = o.browsers.split(',');
  for (const b of o.browsers) {
    if (!(b in launchers)) {
      console.error(`web-check: unknown browser ${b} (chromium, firefox)`);
      process.exit(2);
    }
  }
  return o;
}

// Each browser as puppeteer starts it: Chromium over the DevTools protocol
// with its software GL, Firefox over WebDriver BiDi (puppeteer's default there).
const launchers = {
  chromium: (o) => puppeteer.launch({
    executablePath: o.chromium,
    headless: true,
    protocolTimeout: 1800000,   // ?bench keeps the page busy for minutes
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--no-first-run'],
  }),
  // A machine without a sound card leaves Firefox's audio contexts suspended
  // (Chromium falls back to a silent output of its own): Firefox's stand-in
  // audio device plays at the real pace instead. The autoplay policy stays
  // as it is, so the click must still start the sound.
  firefox: (o, prefs = {}) => puppeteer.launch({
    browser: 'firefox',
    executablePath: o.firefox,
    headless: true,
    protocolTimeout: 1800000,
    extraPrefsFirefox: { 'media.cubeb.force_mock_context': true, ...prefs },
  }),
};

const results = [];
let browserName = '';
function check(name, ok, detail) {
  results.push(ok);
  console.log(`${ok ? 'ok  ' : 'FAIL'} [${browserName}] ${name}${detail ? ': ' + detail : ''}`);
  return ok;
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// serve.py on a free port, cross-origin isolated or plain; resolves to its address.
function serve(dir, isolated) {
  return new Promise((resolve, reject) => {
    const args = [path.join(dir, 'serve.py'), '--port', '0', '--dir', dir, '--quiet'];
    if (!isolated) args.push('--no-isolation');
    const child = spawn('python3', args, { stdio: ['ignore', 'pipe', 'inherit'] });
    child.stdout.once('data', (d) => resolve({ child, url: String(d).trim() }));
    child.once('exit', (code) => reject(new Error(`serve.py exited (${code})`)));
  });
}

// Statistics of the canvas as the page shows it: 320x240 pixels read back.
async function canvasStats(page) {
  return page.evaluate(() => {
    const c = document.getElementById('canvas');
    const px = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let lit = 0, sum = 0, hash = 2166136261;
    for (let i = 0; i < px.length; i += 4) {
      const v = px[i] + px[i + 1] + px[i + 2];
      sum += v;
      if (v > 48) lit++;
      hash = Math.imul(hash ^ (px[i] | px[i + 1] << 8 | px[i + 2] << 16), 16777619);
    }
    return { lit: lit / (px.length / 4), mean: sum / (px.length / 4) / 3, hash: hash >>> 0 };
  });
}

// Mean absolute difference (0..255) between the canvas's top 200 rows and a
// picture file of the page's folder scaled to 320x240: how much the canvas
// looks like that picture.
async function differenceFrom(page, file) {
  return page.evaluate(async (file) => {
    const image = new Image();
    image.src = file;
    await image.decode();
    const ref = document.createElement('canvas');
    ref.width = 320;
    ref.height = 240;
    const g = ref.getContext('2d');
    g.drawImage(image, 0, 0, 320, 240);
    const a = g.getImageData(0, 0, 320, 200).data;
    const b = document.getElementById('canvas').getContext('2d').getImageData(0, 0, 320, 200).data;
    let sum = 0;
    for (let i = 0; i < a.length; i += 4)
      sum += Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]);
    return sum / (a.length / 4) / 3;
  }, file);
}

async function waitFor(page, predicate, timeoutMs, arg) {
  const end = Date.now() + timeoutMs;
  while (Date.now() < end) {
    if (await page.evaluate(predicate, arg)) return true;
    await sleep(100);
  }
  return false;
}

async function newPage(browser, errors) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 1000 });
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  return page;
}

async function playing(browser, url, o) {
  const errors = [];
  const page = await newPage(browser, errors);
  await page.goto(url);
  check('page loads teq-mt.wasm and its data', await waitFor(page, () => window.teq && teq.state === 'ready', 60000));
  check('cross-origin isolated page draws on a thread per core (at most eight)',
        await page.evaluate(() => self.crossOriginIsolated && teq.threads === Math.min(8, navigator.hardwareConcurrency)));
  const overlay = await page.$eval('#overlay', (e) => ({ shown: !e.classList.contains('hidden'), text: e.innerText }));
  check('overlay asks for a click before sound and names the version',
        overlay.shown && /click/i.test(overlay.text) && overlay.text.includes(o.version.replace(/^teq /, 'version ')),
        overlay.text.replace(/\s+/g, ' '));
  check('overlay warns of flashing lights and offers the calm version',
        /flashing lights/i.test(overlay.text) && /calm version/i.test(overlay.text), overlay.text.replace(/\s+/g, ' '));
  await page.screenshot({ path: path.join(o.shots, `${browserName}-before-click.png`) });
  const box = await page.$eval('#canvas', (c) => ({ w: c.width, h: c.height, shown: c.getBoundingClientRect().width }));
  check('canvas of 320x240 scaled by a whole multiple', box.w === 320 && box.h === 240 && box.shown === 1280,
        `${box.w}x${box.h} shown ${box.shown / box.w} times in a 1280x1000 view`);

  await page.mouse.click(640, 500);
  // The loading screen: the loading picture fills the canvas while the stages run.
  let loading = Infinity, loadingShot = false;
  const begin = Date.now();
  while (Date.now() - begin < 20000) {
    const d = await differenceFrom(page, 'wormhole-ref.jpg').catch(() => Infinity);
    loading = Math.min(loading, d);
    if (d < 12) {
      if (!loadingShot) await page.screenshot({ path: path.join(o.shots, `${browserName}-loading.png`) });
      loadingShot = true;
      break;
    }
    await sleep(30);
  }
  check('loading screen shown', loadingShot, `mean difference from the loading picture ${loading.toFixed(2)} of 255`);

  const audio = await waitFor(page, () => {
    const a = window.Module && Module.SDL2 && Module.SDL2.audioContext;
    return a && a.state === 'running';
  }, 30000);
  const t0 = await page.evaluate(() => Module.SDL2 && Module.SDL2.audioContext ? Module.SDL2.audioContext.currentTime : -1);
  const wall0 = Date.now();
  await sleep(3000);
  // Before any read-back or screenshot, which hold up the page's frames.
  const fps = await page.evaluate(() => new Promise((resolve) => {
    let n = 0;
    const start = performance.now();
    (function tick() {
      if (++n === 61) resolve(60000 / (performance.now() - start));
      else requestAnimationFrame(tick);
    })();
  }));
  console.log(`     page refresh while playing: ${fps.toFixed(1)} animation frames/s`);
  const a = await canvasStats(page);
  await page.screenshot({ path: path.join(o.shots, `${browserName}-playing.png`) });
  await sleep(2000);
  const b = await canvasStats(page);
  const t1 = await page.evaluate(() => Module.SDL2 && Module.SDL2.audioContext ? Module.SDL2.audioContext.currentTime : -1);
  const wall = (Date.now() - wall0) / 1000;
  check('audio context running and its clock advancing', audio && t1 - t0 > 0.8 * wall,
        `${(t1 - t0).toFixed(2)} s of audio in ${wall.toFixed(2)} s`);
  check('frames a few seconds apart are not black', a.lit > 0.05 && b.lit > 0.05,
        `lit pixels ${(100 * a.lit).toFixed(1)}% and ${(100 * b.lit).toFixed(1)}%`);
  check('frames a few seconds apart differ', a.hash !== b.hash);

  // The playback keys: Space holds the picture and the title shows the time,
  // Right seeks 5 s on (still paused), Space plays on.
  const clock = (title) => {
    const m = /paused - (\d+):(\d+\.\d)/.exec(title);
    return m ? Number(m[1]) * 60 + Number(m[2]) : NaN;
  };
  await page.keyboard.press(' ');
  await sleep(300);
  const held0 = await canvasStats(page);
  await sleep(1000);
  const held1 = await canvasStats(page);
  const pausedTitle = await page.title();
  check('Space pauses: the picture holds, the title tells the time', held0.hash === held1.hash && clock(pausedTitle) > 0,
        pausedTitle);
  await page.keyboard.press('ArrowRight');
  await sleep(500);
  const seekTitle = await page.title();
  const sought = await canvasStats(page);
  check('Right seeks 5 s on', Math.abs(clock(seekTitle) - clock(pausedTitle) - 5) < 0.15 && sought.hash !== held1.hash,
        `${pausedTitle} -> ${seekTitle}`);
  await page.keyboard.press(' ');
  await sleep(1000);
  const resumed = await canvasStats(page);
  check('Space plays on', resumed.hash !== sought.hash && !/paused/.test(await page.title()));
  // C (the key, then the page's teq.toggleCalm, the way for buttons): calm
  // mode on and off, the title saying so.
  await page.keyboard.press('c');
  const calmOn = await waitFor(page, () => / - calm mode$/.test(document.title) && teq.calm === true, 20000);
  await page.evaluate(() => teq.toggleCalm());
  const calmOff = await waitFor(page, () => / - calm mode off$/.test(document.title) && teq.calm === false, 20000);
  check('C and teq.toggleCalm() turn calm mode on and off, the title tells', calmOn && calmOff, await page.title());
  // F: the stage goes fullscreen (whole-multiple scaling and black bars there
  // too), F again leaves it.
  await page.keyboard.press('f');
  const full = await waitFor(page, () => document.fullscreenElement && document.fullscreenElement.id === 'stage', 3000);
  await page.keyboard.press('f');
  const windowed = await waitFor(page, () => !document.fullscreenElement, 3000);
  check('F enters fullscreen and leaves it', full && windowed);
  await page.keyboard.press('q');
  check('Q ends the run', await waitFor(page, () => teq.state === 'ended' && teq.exitCode === 0, 5000));
  check('console has no errors', errors.length === 0, errors.slice(0, 3).join(' | '));
  await page.close();
}

// The browser asking for reduced motion: the page starts calm and says so;
// ?calm=0 plays as made even then.
// Chromium emulates the media feature; Firefox is started once more with its
// own setting for it (ui.prefersReducedMotion), as a user would set it.
async function reducedMotion(browser, url, o) {
  const errors = [];
  const reduced = browserName === 'firefox' ? await launchers.firefox(o, { 'ui.prefersReducedMotion': 1 }) : browser;
  try {
    for (const [query, calm] of [['', true], ['?calm=0', false]]) {
      const page = await newPage(reduced, errors);
      if (reduced === browser) await page.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
      await page.goto(url + query);
      const ready = await waitFor(page, () => window.teq && teq.state === 'ready', 60000);
      const seen = await page.evaluate(() => ({ calm: teq.calm, reduced: teq.reducedMotion,
                                                text: document.getElementById('overlay').innerText }));
      check(`reduced motion${query ? ' with ' + query : ''}: the page starts ${calm ? 'calm' : 'as made'}`,
            ready && seen.reduced && seen.calm === calm &&
            (calm ? /Calm version/.test(seen.text) : /Warning: .*flashing lights/.test(seen.text)),
            seen.text.replace(/\s+/g, ' '));
      await page.close();
    }
  } finally {
    if (reduced !== browser) await reduced.close();
  }
  check('console has no errors (reduced motion)', errors.length === 0, errors.slice(0, 3).join(' | '));
}

// ?shot=T against teq --shot T; threads: what the page should draw on;
// resolution: ?resolution=N against --resolution N; calm: ?calm against --calm.
async function shot(browser, url, o, threads, resolution = 1, calm = false) {
  const errors = [];
  // Calm at 54 s, where the strobing picture shows its shaped grey.
  const at = calm ? 54 : o.shot;
  const page = await newPage(browser, errors);
  const extra = (resolution > 1 ? `&resolution=${resolution}` : '') + (calm ? '&calm' : '');
  await page.goto(`${url}?shot=${at}${extra}`);
  const done = await waitFor(page, () => window.teq && teq.state === 'ended', 300000);
  const on = `${threads > 1 ? 'a thread per core' : '1 thread'}${resolution > 1 ? ' at resolution ' + resolution : ''}` +
             (calm ? ' in calm mode' : '');
  if (!check(`?shot=${at} draws a picture on ${on}`, done && (await page.evaluate(() => teq.exitCode === 0)) &&
             (await page.evaluate(() => teq.threads)) ===
             (threads > 1 ? await page.evaluate(() => Math.min(8, navigator.hardwareConcurrency)) : 1),
             errors.join(' | '))) return;
  const web = Buffer.from(await page.evaluate(() => Array.from(teq.shot)));
  await page.screenshot({ path: path.join(o.shots, `${browserName}-shot-${at}-${threads}-${resolution}x.png`) });
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'teq-web-')), 'native.png');
  execFileSync(o.teq, ['--shot', String(at), file, '--resolution', String(resolution)].concat(calm ? ['--calm'] : []),
               { stdio: 'inherit' });
  const native = fs.readFileSync(file);
  fs.rmSync(path.dirname(file), { recursive: true });
  if (web.equals(native)) {
    check(`?shot=${at} on ${on} equals teq${calm ? " --calm" : ""} --shot ${at}`, true, 'identical files');
  } else {
    // Decode both in the page and count the pixels that differ.
    const diff = await page.evaluate(async (a, b) => {
      const decode = async (bytes) => {
        const bitmap = await createImageBitmap(new Blob([new Uint8Array(bytes)], { type: 'image/png' }));
        const c = new OffscreenCanvas(bitmap.width, bitmap.height);
        const g = c.getContext('2d');
        g.drawImage(bitmap, 0, 0);
        return g.getImageData(0, 0, bitmap.width, bitmap.height).data;
      };
      const x = await decode(a), y = await decode(b);
      let pixels = 0, worst = 0;
      for (let i = 0; i < x.length; i += 4) {
        let d = 0;
        for (let k = 0; k < 3; k++) d = Math.max(d, Math.abs(x[i + k] - y[i + k]));
        if (d) pixels++;
        worst = Math.max(worst, d);
      }
      return { pixels, worst, sameSize: x.length === y.length };
    }, Array.from(web), Array.from(native));
    check(`?shot=${at} on ${on} matches teq${calm ? " --calm" : ""} --shot ${at}`, diff.sameSize && diff.pixels <= 8 && diff.worst <= 4,
          `${diff.pixels} pixels differ, by at most ${diff.worst}`);
  }
  check('console has no errors (shot)', errors.length === 0, errors.slice(0, 3).join(' | '));
  await page.close();
}

// Mean frame time per timeline window from teq --bench's output.
function windows(text) {
  const line = text.split('\n').find((l) => l.startsWith('mean ms by window:')) || '';
  return [...line.matchAll(/\[([\d.]+),([\d.]+)\) ([\d.]+)/g)].map((m) => ({ from: +m[1], to: +m[2], ms: +m[3] }));
}

// The page's ?bench output (query q) or undefined when it did not finish.
async function pageBench(browser, url, q) {
  const errors = [];
  const page = await newPage(browser, errors);
  await page.goto(`${url}?${q}`);
  const done = await waitFor(page, () => window.teq && teq.state === 'ended', 1800000);
  const text = await page.evaluate(() => teq.output.join('\n'));
  await page.close();
  return check(`?${q} runs the timeline`, done && windows(text).length > 0, errors.join(' | ')) ? text : undefined;
}

// The frame-time figures of one --bench output.
function figures(text) {
  const get = (re) => { const m = text.match(re); return m ? parseFloat(m[1]) : NaN; };
  return { median: get(/median ([\d.]+)/), p99: get(/p99 ([\d.]+)/), worst: get(/worst ([\d.]+)/),
           seconds: get(/seconds ([\d.]+)/), windows: windows(text) };
}

// ?bench in one browser: the page's three builds, each as a row of the table.
async function bench(browser, url) {
  const rows = [];
  for (const [build, q] of [['SIMD128, two threads', 'bench'], ['SIMD128, one thread', 'bench&threads=1'],
                            ['portable, one thread', 'bench&threads=1&simd=0']]) {
    const text = await pageBench(browser, url, q);
    if (text) {
      console.log(`${browserName}, ${build}:\n${text.trim()}`);
      rows.push({ browser: browserName, build, ...figures(text) });
    }
  }
  return rows;
}

// The browsers' rows beside the native build's, as ratios to the native
// portable loop on one thread (the closest to the page's portable build).
function benchTable(rows, o) {
  const native = (simd, threads) => {
    const env = { ...process.env, TEQ_RENDER_SIMD: simd, TEQ_RENDER_THREADS: threads };
    return figures(execFileSync(o.teq, ['--bench'], { env }).toString());
  };
  const base = { browser: 'native', build: 'portable, one thread', ...native('0', '1') };
  rows.unshift({ browser: 'native', build: 'AVX2, two threads', ...native('1', '2') }, base);
  console.log('frame ms over the whole timeline (x: median against native portable, one thread)');
  console.log('browser   build                   median     p99   worst   run s       x');
  for (const r of rows) {
    const f = (v, w) => (Number.isFinite(v) ? v.toFixed(2) : '?').padStart(w);
    console.log(`${r.browser.padEnd(9)} ${r.build.padEnd(22)} ${f(r.median, 7)} ${f(r.p99, 7)} ${f(r.worst, 7)} ` +
                `${f(r.seconds, 7)} ${f(r.median / base.median, 7)}`);
  }
  for (const r of rows.slice(2)) {
    console.log(`  ${r.browser}, ${r.build}, by window: ` + r.windows.map((x, i) =>
      `[${x.from},${x.to}) ${x.ms.toFixed(2)} ms x${base.windows[i] ? (x.ms / base.windows[i].ms).toFixed(2) : '?'}`).join('  '));
  }
}

async function main() {
  const o = options();
  fs.mkdirSync(o.shots, { recursive: true });
  // The loading picture, for recognising the loading screen.
  fs.copyFileSync(path.join(path.dirname(o.teq), 'data', 'wormhole.jpg'), path.join(o.dir, 'wormhole-ref.jpg'));
  o.version = execFileSync(o.teq, ['--version']).toString().trim();
  const server = await serve(o.dir, true);
  const plain = await serve(o.dir, false);
  const rows = [];
  try {
    for (const name of o.browsers) {
      browserName = name;
      const browser = await launchers[name](o);
      console.log(`web-check: ${await browser.version()}`);
      try {
        await playing(browser, server.url, o);
        await shot(browser, server.url, o, 2);
        await shot(browser, plain.url, o, 1);
        await shot(browser, server.url, o, 2, 2);
        await shot(browser, server.url, o, 2, 1, true);
        await reducedMotion(browser, server.url, o);
        if (o.bench) rows.push(...await bench(browser, server.url));
      } finally {
        await browser.close();
      }
    }
    if (o.bench) benchTable(rows, o);
  } finally {
    server.child.kill();
    plain.child.kill();
    fs.rmSync(path.join(o.dir, 'wormhole-ref.jpg'), { force: true });
  }
  const failed = results.filter((r) => !r).length;
  console.log(`web-check: ${results.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(`web-check: ${e.stack || e}`);
  process.exit(1);
});
