// make web-check: serves the browser build on 127.0.0.1 and plays it in
// headless Chromium and Firefox ESR (Debian's, driven by puppeteer-core, over
// the DevTools protocol and WebDriver BiDi): the click-to-start overlay with
// the version, the loading screen, the demo moving with its audio context
// running, the playback keys (pause, seek, play on, fullscreen), no console
// errors, Q ending the run, and ?shot=T against the native `teq --shot T`,
// both from a cross-origin isolated server (the two-thread build) and from a
// plain one (the one-thread build), and ?shot=T&resolution=2 against
// --resolution 2. The controls over the picture with mouse and keyboard
// (shown and hidden, Tab and Enter/Space, a seek by the seek bar landing on
// --shot's picture, mute, fullscreen, the 4:3 box and Auto's N in a resized
// window), and in Chromium on an emulated phone (taps, the seek bar under a
// finger, double tap, rotation, Auto stepping down with the processor
// slowed). Prints the page's files' sizes as sent compressed and the time
// to the first frame. With --bench also ?bench (two threads,
// one thread, one thread with the portable loop) beside the native
// single-thread portable `teq --bench`, as ratios, and the browsers' frame
// times side by side. --docs DIR also writes the screenshots of the
// controls there; --checks picks some of playing,shot,controls,phone.
//   node web/check.cjs --dir build-web --teq build/teq [--shot 45] [--bench] [--shots DIR]
//                      [--browsers chromium,firefox] [--checks LIST] [--docs DIR]
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

function options() {
  const o = { dir: 'build-web', teq: 'build/teq', shot: 45, bench: false, shots: null, docs: null,
              chromium: '/usr/bin/chromium', firefox: '/usr/bin/firefox-esr', browsers: 'chromium,firefox',
              checks: 'playing,shot,controls,phone' };
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
  o.checks = new Set(o.checks.split(','));
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
  firefox: (o) => puppeteer.launch({
    browser: 'firefox',
    executablePath: o.firefox,
    headless: true,
    protocolTimeout: 1800000,
    extraPrefsFirefox: { 'media.cubeb.force_mock_context': true },
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

// Mean absolute difference (0..255) between the top 200 rows of the canvas
// and of a picture file of the page's folder, both scaled to 320x240: how
// much the canvas looks like that picture.
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
    // The canvas holds the frame at the resolution drawn: brought to 320x240 too.
    const own = document.createElement('canvas');
    own.width = 320;
    own.height = 240;
    const h = own.getContext('2d');
    h.drawImage(document.getElementById('canvas'), 0, 0, 320, 240);
    const b = h.getImageData(0, 0, 320, 200).data;
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
  const timing = await page.evaluate(() => teq.timing);
  console.log(`     load: program fetched and compiled ${timing.ready.toFixed(0)} ms after the page's start; ` +
              `first frame ${(timing.firstFrame - timing.started).toFixed(0)} ms after the click`);

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

// The native teq --shot t at resolution n: the PNG file's bytes.
function nativeShot(o, t, n) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'teq-web-')), 'native.png');
  execFileSync(o.teq, ['--shot', String(t), file, '--resolution', String(n)], { stdio: 'inherit' });
  const bytes = fs.readFileSync(file);
  fs.rmSync(path.dirname(file), { recursive: true });
  return bytes;
}

// Pixels that differ between two PNG files, decoded in the page; without
// `web`, between the canvas as it is and `native`.
async function differingPixels(page, web, native) {
  return page.evaluate(async (a, b) => {
    const decode = async (bytes) => {
      const bitmap = await createImageBitmap(new Blob([new Uint8Array(bytes)], { type: 'image/png' }));
      const c = new OffscreenCanvas(bitmap.width, bitmap.height);
      const g = c.getContext('2d');
      g.drawImage(bitmap, 0, 0);
      return g.getImageData(0, 0, bitmap.width, bitmap.height).data;
    };
    const canvas = document.getElementById('canvas');
    const x = a ? await decode(a) : canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const y = await decode(b);
    let pixels = 0, worst = 0;
    for (let i = 0; i < Math.min(x.length, y.length); i += 4) {
      let d = 0;
      for (let k = 0; k < 3; k++) d = Math.max(d, Math.abs(x[i + k] - y[i + k]));
      if (d) pixels++;
      worst = Math.max(worst, d);
    }
    return { pixels, worst, sameSize: x.length === y.length };
  }, web ? Array.from(web) : null, Array.from(native));
}

// ?shot=T against teq --shot T; threads: what the page should draw on;
// resolution: ?resolution=N against --resolution N.
async function shot(browser, url, o, threads, resolution = 1) {
  const errors = [];
  const page = await newPage(browser, errors);
  const extra = resolution > 1 ? `&resolution=${resolution}` : '';
  await page.goto(`${url}?shot=${o.shot}${extra}`);
  const done = await waitFor(page, () => window.teq && teq.state === 'ended', 300000);
  const on = `${threads > 1 ? 'a thread per core' : '1 thread'}${extra ? ' at resolution ' + resolution : ''}`;
  if (!check(`?shot=${o.shot} draws a picture on ${on}`, done && (await page.evaluate(() => teq.exitCode === 0)) &&
             (await page.evaluate(() => teq.threads)) ===
             (threads > 1 ? await page.evaluate(() => Math.min(8, navigator.hardwareConcurrency)) : 1),
             errors.join(' | '))) return;
  const web = Buffer.from(await page.evaluate(() => Array.from(teq.shot)));
  await page.screenshot({ path: path.join(o.shots, `${browserName}-shot-${o.shot}-${threads}-${resolution}x.png`) });
  const native = nativeShot(o, o.shot, resolution);
  if (web.equals(native)) {
    check(`?shot=${o.shot} on ${on} equals teq --shot ${o.shot}`, true, 'identical files');
  } else {
    const diff = await differingPixels(page, web, native);
    check(`?shot=${o.shot} on ${on} matches teq --shot ${o.shot}`, diff.sameSize && diff.pixels <= 8 && diff.worst <= 4,
          `${diff.pixels} pixels differ, by at most ${diff.worst}`);
  }
  check('console has no errors (shot)', errors.length === 0, errors.slice(0, 3).join(' | '));
  await page.close();
}

// ---- The page's controls. ----

// What the controls know (teq.controls) and the picture's box on screen.
async function controlsState(page) {
  return page.evaluate(() => {
    const c = document.getElementById('canvas');
    const r = c.getBoundingClientRect();
    const s = teq.controls;
    return { shown: s.shown, playing: s.playing, paused: s.paused, t: s.t, end: s.end, n: s.n, limit: s.limit,
             fixed: s.fixed, muted: s.muted, width: c.width, height: c.height, box: { x: r.x, y: r.y, w: r.width, h: r.height },
             sharp: !c.classList.contains('smooth'), title: document.title,
             stage: { w: innerWidth, h: innerHeight }, dpr: devicePixelRatio };
  });
}

// The N that Auto aims at for a w x h window at dpr: the screen pixels that
// the largest 4:3 box covers, by 320 (as the page's fitPicture).
function expectedLimit(w, h, dpr) {
  const fit = Math.min(Math.round(w * dpr), Math.floor((Math.round(h * dpr) * 4) / 3));
  return Math.min(8, Math.max(1, Math.round(fit / 320)));
}

// The picture keeps 4:3, fits the window, is centred, and is sharp exactly
// where it is a whole multiple of the frame.
function boxHolds(st) {
  const { w, h, x, y } = st.box;
  const dw = Math.round(w * st.dpr), dh = Math.round(h * st.dpr);
  const whole = dw % st.width === 0 && dh % st.height === 0;
  return Math.abs(dw * 3 - dh * 4) <= 4 && w <= st.stage.w + 0.01 && h <= st.stage.h + 0.01 &&
         Math.abs(x * 2 + w - st.stage.w) <= 1.5 && Math.abs(y * 2 + h - st.stage.h) <= 1.5 && st.sharp === whole;
}
const boxText = (st) => `${st.box.w.toFixed(1)}x${st.box.h.toFixed(1)} at (${st.box.x.toFixed(1)}, ${st.box.y.toFixed(1)}) ` +
  `in ${st.stage.w}x${st.stage.h} at DPR ${st.dpr}, frame ${st.width}x${st.height}, ${st.sharp ? 'square pixels' : 'smooth'}`;

// Waits until the picture's box lies inside the window (after a resize or rotation).
const boxFollows = (page) => waitFor(page, () => {
  const r = document.getElementById('canvas').getBoundingClientRect();
  return r.width > 0 && r.right <= innerWidth + 0.01 && r.bottom <= innerHeight + 0.01 &&
         (Math.abs(r.width - innerWidth) < 1 || Math.abs(r.height - innerHeight) < 1 ||
          !document.getElementById('canvas').classList.contains('smooth'));
}, 10000);

// A screenshot for the README: JPEG, phones at half their device pixels.
async function docShot(page, o, name, scale = 1) {
  if (!o.docs) return;
  const v = page.viewport();
  await page.screenshot({ path: path.join(o.docs, name), type: 'jpeg', quality: 85,
                          clip: { x: 0, y: 0, width: v.width, height: v.height, scale } });
}

// The title's clock while paused ("teq - paused - 0:45.0"), in seconds.
function pausedAt(title) {
  const m = /paused - (\d+):(\d+\.\d)/.exec(title);
  return m ? Number(m[1]) * 60 + Number(m[2]) : NaN;
}

// Where a time lies on the seek bar (client coordinates).
async function seekPoint(page, t) {
  return page.evaluate((t) => {
    const r = document.getElementById('seek-track').getBoundingClientRect();
    return { x: r.left + (r.width * t) / teq.controls.end, y: r.top + r.height / 2, left: r.left };
  }, t);
}

// Paused on the seek bar's landing point: the picture against the native
// teq --shot at that time and the resolution drawn.
async function landsOnShot(page, o, how) {
  const landed = await waitFor(page, () => {
    const m = /paused - (\d+):(\d+\.\d)/.exec(document.title);
    const v = Number(document.getElementById('seek').getAttribute('aria-valuenow'));
    return m && Math.abs(Number(m[1]) * 60 + Number(m[2]) - v) < 0.05;
  }, 30000);
  const st = await controlsState(page);
  const t = pausedAt(st.title);
  if (!check(`${how} lands paused where the bar says`, landed && Math.abs(t - o.shot) < 1, `${st.title}, bar at ${t}`)) return;
  const n = st.width / 320;
  const diff = await differingPixels(page, null, nativeShot(o, t, n));
  check(`${how}: the picture at ${t} s equals teq --shot ${t} --resolution ${n}`,
        diff.sameSize && diff.pixels <= 8 && diff.worst <= 4, `${diff.pixels} pixels differ, by at most ${diff.worst}`);
}

// Starts the demo with a click (or a tap) on the overlay and waits for play.
async function startPlaying(page, url, tap) {
  await page.goto(url);
  if (!await waitFor(page, () => window.teq && teq.state === 'ready', 60000)) return false;
  if (tap) await page.touchscreen.tap(100, 100);
  else await page.mouse.click(100, 100);
  return waitFor(page, () => teq.controls.playing, 120000);
}

// The controls with a mouse and the keyboard, in a desktop window.
async function controls(browser, url, o) {
  const errors = [];
  const page = await newPage(browser, errors);
  if (!check('controls: the demo plays after a click', await startPlaying(page, url, false))) return;
  check('controls show at the start of play and hide after about 2 s',
        await page.evaluate(() => teq.controls.shown) && await waitFor(page, () => !teq.controls.shown, 10000));
  const names = await page.evaluate(() => [...document.querySelectorAll('#bar button, #bar select, #bar [role=slider]')]
    .map((e) => ({ tag: e.tagName, name: e.getAttribute('aria-label') || '', focusable: e.tabIndex >= 0 })));
  check('every control has an accessible name and takes the focus', names.length >= 5 &&
        names.every((n) => n.name && n.focusable), names.map((n) => n.name || `(${n.tag} without a name)`).join(', '));

  await page.mouse.move(600, 500);
  await page.mouse.move(640, 520);
  check('a moving mouse shows them', await waitFor(page, () => teq.controls.shown, 3000));
  const bar = await page.$eval('#buttons', (e) => { const r = e.getBoundingClientRect(); return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; });
  await page.mouse.move(bar.x, bar.y);
  await sleep(3500);
  check('they stay while the mouse rests on them', await page.evaluate(() => teq.controls.shown));
  await page.mouse.move(640, 300);
  check('and hide when it leaves and rests', await waitFor(page, () => !teq.controls.shown, 10000));

  // Tab reaches the controls (the demo's window would keep it), Enter and
  // Space press the focused button and only it.
  await page.evaluate(() => document.getElementById('canvas').focus());
  await page.keyboard.press('Tab');
  const focused = await page.evaluate(() => document.activeElement && document.activeElement.id);
  check('Tab focuses a control and shows them', focused === 'seek' && await page.evaluate(() => teq.controls.shown),
        `focus on #${focused}`);
  await page.keyboard.press('Tab');
  check('the next Tab is the play button', await page.evaluate(() => document.activeElement.id === 'play'));
  await page.keyboard.press('Enter');
  check('Enter on it pauses', await waitFor(page, () => teq.controls.paused && /paused/.test(document.title), 10000),
        await page.title());
  await page.keyboard.press(' ');
  check('Space on it plays on (the demo does not see the Space too)',
        await waitFor(page, () => !teq.controls.paused && !/paused/.test(document.title), 10000));
  await sleep(500);
  check('still playing a moment later', !(await page.evaluate(() => teq.controls.paused)));

  // A fixed resolution from the list, then pause and seek by the seek bar:
  // the picture is --shot's at that time.
  await page.select('#resolution', '2');
  check('the resolution list sets N = 2', await waitFor(page, () => document.getElementById('canvas').width === 640, 20000));
  await page.mouse.move(640, 500);
  await page.click('#play');
  await waitFor(page, () => teq.controls.paused, 10000);
  const at = await seekPoint(page, o.shot);
  await page.mouse.click(at.x, at.y);
  await landsOnShot(page, o, `the seek bar (mouse) to ${o.shot} s`);
  await page.click('#play');
  const t0 = await page.evaluate(() => teq.controls.t);
  check('play on from there', await waitFor(page, (t0) => !teq.controls.paused && teq.controls.t > t0 + 0.5, 10000, t0));

  await page.click('#mute');
  const muted = await page.evaluate(() => ({ muted: teq.controls.muted, pressed: document.getElementById('mute').getAttribute('aria-pressed') }));
  const c0 = await page.evaluate(() => Module.SDL2.audioContext.currentTime);
  await sleep(1000);
  const c1 = await page.evaluate(() => Module.SDL2.audioContext.currentTime);
  check('mute silences the sound and the music clock runs on', muted.muted && muted.pressed === 'true' && c1 > c0 &&
        await page.evaluate(() => !teq.controls.paused), `audio clock ${c0.toFixed(2)} -> ${c1.toFixed(2)}`);
  await page.keyboard.press('m');
  check('M unmutes', !(await page.evaluate(() => teq.controls.muted)));

  await page.mouse.move(600, 500);
  await page.click('#fullscreen');
  const full = await waitFor(page, () => document.fullscreenElement && document.fullscreenElement.id === 'stage', 5000);
  await page.click('#fullscreen');
  check('the fullscreen button enters and leaves fullscreen', full && await waitFor(page, () => !document.fullscreenElement, 5000));

  await page.select('#resolution', 'auto');
  await page.setViewport({ width: 900, height: 500 });
  await waitFor(page, () => innerWidth === 900, 5000);
  await boxFollows(page);
  const small = await controlsState(page);
  check('a smaller window: the picture in its largest 4:3 box', boxHolds(small), boxText(small));
  check('Auto aims at the screen pixels the picture covers', small.limit === expectedLimit(900, 500, 1) && small.n <= small.limit,
        `limit ${small.limit}, drawing at ${small.n}`);
  await page.setViewport({ width: 1280, height: 1000 });
  await page.mouse.move(500, 500);
  await page.mouse.move(520, 520);
  await sleep(300);
  if (browserName === 'chromium') await docShot(page, o, 'web-desktop.jpg');
  await page.screenshot({ path: path.join(o.shots, `${browserName}-controls.png`) });
  check('console has no errors (controls)', errors.length === 0, errors.slice(0, 3).join(' | '));
  await page.close();
}

// The page on a phone (Chromium's emulation: touch, 390x844 at DPR 3, upright
// and on its side): taps, the seek bar under a finger, double tap for
// fullscreen, the box after a rotation, Auto's N, and Auto stepping down
// when the processor is slowed (DevTools protocol).
async function phone(browser, url, o) {
  const errors = [];
  const page = await newPage(browser, errors);
  const upright = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
  const onSide = { width: 844, height: 390, deviceScaleFactor: 3, isMobile: true, hasTouch: true, isLandscape: true };
  await page.setViewport(upright);
  if (!check('phone: the demo plays after a tap', await startPlaying(page, url, true))) return;
  const meta = await page.$eval('meta[name=viewport]', (m) => m.content);
  check('phone: the viewport is the device\'s width at scale 1', /width=device-width/.test(meta) && /initial-scale=1/.test(meta), meta);
  let st = await controlsState(page);
  check('phone upright: the picture in the largest 4:3 box', boxHolds(st), boxText(st));
  check('phone upright: Auto aims at the device pixels', st.limit === expectedLimit(390, 844, 3) && st.n <= st.limit,
        `limit ${st.limit} (1170 device pixels across), drawing at ${st.n}`);
  await waitFor(page, () => !teq.controls.shown, 10000);
  const mid = { x: 195, y: st.box.y + st.box.h / 2 };
  await page.touchscreen.tap(mid.x, mid.y);
  const appeared = await waitFor(page, () => teq.controls.shown, 3000);
  await sleep(500);
  check('a tap shows the controls, and does not pause', appeared && !(await page.evaluate(() => teq.controls.paused)));
  await docShot(page, o, 'web-phone-upright.jpg', 0.5);
  await page.screenshot({ path: path.join(o.shots, 'phone-upright.png') });
  check('they hide again', await waitFor(page, () => !teq.controls.shown, 10000));
  // Taps a moment apart (two in quick succession are a double tap).
  const apart = () => sleep(700);
  await page.touchscreen.tap(mid.x, mid.y);
  await waitFor(page, () => teq.controls.shown, 3000);
  await apart();
  await page.touchscreen.tap(mid.x, mid.y);
  check('a tap while they show pauses', await waitFor(page, () => teq.controls.paused && /paused/.test(document.title), 10000));
  await apart();
  await page.touchscreen.tap(mid.x, mid.y);
  check('another resumes', await waitFor(page, () => !teq.controls.paused, 10000));

  // No scrolling and no zoom from a drag or a pinch-like swipe on the picture.
  await page.touchscreen.touchStart(mid.x, mid.y);
  for (let k = 1; k <= 10; k++) await page.touchscreen.touchMove(mid.x - 8 * k, mid.y - 30 * k);
  await page.touchscreen.touchEnd();
  const view = await page.evaluate(() => ({ x: scrollX, y: scrollY, scale: visualViewport.scale, top: visualViewport.offsetTop }));
  check('a drag on the picture neither scrolls nor zooms', view.x === 0 && view.y === 0 && view.scale === 1 && view.top === 0,
        JSON.stringify(view));

  // The seek bar under a finger, paused: slide from the start to the shot's time.
  await waitFor(page, () => !teq.controls.shown, 10000);
  await page.touchscreen.tap(mid.x, mid.y);
  await waitFor(page, () => teq.controls.shown, 3000);
  await apart();
  await page.tap('#play');
  await waitFor(page, () => teq.controls.paused, 10000);
  const from = await seekPoint(page, 1);
  const to = await seekPoint(page, o.shot);
  await page.touchscreen.touchStart(from.x, from.y);
  for (let k = 1; k <= 8; k++) {
    await page.touchscreen.touchMove(from.x + ((to.x - from.x) * k) / 8, from.y);
    await sleep(60);
  }
  const valueNow = () => Number(document.getElementById('seek').getAttribute('aria-valuenow'));
  const follows = await waitFor(page, (t) => Math.abs(Number(document.getElementById('seek').getAttribute('aria-valuenow')) - t) < 1,
                                5000, o.shot);
  const following = await page.evaluate(valueNow);
  await page.touchscreen.touchEnd();
  check('the seek bar follows the finger', follows, `at ${following} s under the finger`);
  await landsOnShot(page, o, `the seek bar (finger) to ${o.shot} s`);
  await page.tap('#play');
  await waitFor(page, () => !teq.controls.paused, 10000);

  // Double tap: fullscreen, and again: back.
  // The two taps' events sent without waiting on each (as a finger would,
  // whatever a busy page's round trips take).
  const input = await page.createCDPSession();
  const doubleTap = (x, y) => Promise.all([
    input.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] }),
    input.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] }),
    input.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] }),
    input.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] })]);
  await waitFor(page, () => !teq.controls.shown, 10000);
  await doubleTap(mid.x, mid.y);
  const full = await waitFor(page, () => document.fullscreenElement && document.fullscreenElement.id === 'stage', 5000);
  await sleep(600);
  const pausedByIt = await page.evaluate(() => teq.controls.paused);
  await doubleTap(mid.x, mid.y);
  const left = await waitFor(page, () => !document.fullscreenElement, 5000);
  await sleep(600);
  const pausedAfter = await page.evaluate(() => teq.controls.paused);
  check('a double tap enters fullscreen and another leaves it (neither pauses)',
        full && !pausedByIt && left && !pausedAfter,
        `entered ${full}, left ${left}, paused ${pausedByIt} and ${pausedAfter}`);

  // On its side.
  await page.setViewport(onSide);
  await waitFor(page, () => innerWidth === 844, 5000);
  await boxFollows(page);
  st = await controlsState(page);
  check('phone on its side: still the largest 4:3 box', boxHolds(st), boxText(st));
  check('phone on its side: Auto aims at the device pixels', st.limit === expectedLimit(844, 390, 3) && st.n <= st.limit,
        `limit ${st.limit}, drawing at ${st.n}`);
  await waitFor(page, () => !teq.controls.shown, 10000);
  await page.touchscreen.tap(422, 195);
  await waitFor(page, () => teq.controls.shown, 3000);
  await sleep(400);
  await docShot(page, o, 'web-phone-side.jpg', 0.5);
  await page.screenshot({ path: path.join(o.shots, 'phone-side.png') });
  await page.setViewport(upright);
  await waitFor(page, () => innerWidth === 390, 5000);
  await boxFollows(page);
  st = await controlsState(page);
  check('phone upright again: the box follows', boxHolds(st), boxText(st));

  // Auto from N = 3 with the processor slowed six times: it steps down.
  await page.touchscreen.tap(mid.x, mid.y);
  await page.select('#resolution', '3');
  await waitFor(page, () => document.getElementById('canvas').width === 960, 20000);
  const cdp = await page.createCDPSession();
  await cdp.send('Emulation.setCPUThrottlingRate', { rate: 6 });
  await page.select('#resolution', 'auto');
  const stepped = await waitFor(page, () => teq.controls.n < 3 && document.getElementById('canvas').width < 960, 60000);
  const slowed = await controlsState(page);
  await cdp.send('Emulation.setCPUThrottlingRate', { rate: 1 });
  check('Auto steps down when the processor is slowed', stepped, `from 3 to ${slowed.n} at 6x slower`);
  await sleep(5000);
  console.log(`     Auto afterwards, unthrottled: N = ${(await controlsState(page)).n} (limit ${slowed.limit})`);
  check('console has no errors (phone)', errors.length === 0, errors.slice(0, 3).join(' | '));
  await page.close();
}

// The page's files as a server sends them: raw, gzip -9 and brotli
// (quality 11, as for files compressed ahead of serving).
function wireSizes(o) {
  const zlib = require('zlib');
  const rows = [];
  for (const file of ['index.html', 'page.css', 'logic.js', 'controls.js', 'teq-mt.js', 'teq-mt.worker.js',
                      'teq-mt.wasm', 'teq.js', 'teq.wasm', 'teq.data']) {
    const p = path.join(o.dir, file);
    if (!fs.existsSync(p)) continue;
    const raw = fs.readFileSync(p);
    rows.push({ file, raw: raw.length, gzip: zlib.gzipSync(raw, { level: 9 }).length,
                brotli: zlib.brotliCompressSync(raw, { params: { [zlib.constants.BROTLI_PARAM_QUALITY]: 11,
                                                                 [zlib.constants.BROTLI_PARAM_SIZE_HINT]: raw.length } }).length });
  }
  const kib = (v) => (v / 1024).toFixed(1).padStart(9);
  console.log('page files, KiB: raw, gzip -9, brotli 11');
  for (const r of rows) console.log(`  ${r.file.padEnd(18)} ${kib(r.raw)} ${kib(r.gzip)} ${kib(r.brotli)}`);
  for (const [name, set] of [['isolated (teq-mt)', /^(index|page|logic|controls|teq-mt|teq\.data)/],
                             ['plain (teq)', /^(index|page|logic|controls|teq\.(js|wasm|data))/]]) {
    const sum = (k) => rows.filter((r) => set.test(r.file)).reduce((a, r) => a + r[k], 0);
    console.log(`  ${('page, ' + name).padEnd(28)} ${kib(sum('raw'))} ${kib(sum('gzip'))} ${kib(sum('brotli'))}`);
  }
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
  if (o.docs) fs.mkdirSync(o.docs, { recursive: true });
  wireSizes(o);
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
        if (o.checks.has('playing')) await playing(browser, server.url, o);
        if (o.checks.has('shot')) {
          await shot(browser, server.url, o, 2);
          await shot(browser, plain.url, o, 1);
          await shot(browser, server.url, o, 2, 2);
        }
        if (o.checks.has('controls')) await controls(browser, server.url, o);
        if (o.checks.has('phone') && name === 'chromium') await phone(browser, server.url, o);
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
