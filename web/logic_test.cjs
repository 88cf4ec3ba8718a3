// The page's arithmetic (web/logic.js) under node's test runner:
//   node --test web/logic_test.cjs
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { fitPicture, clock, lastSeekable, seekTime, AutoResolution } = require('./logic.js');

test('the picture fills the largest 4:3 box, centred on whole device pixels', () => {
  // A desktop window: 1280 wide fits four times 320 exactly.
  assert.deepStrictEqual(fitPicture(1280, 1000, 1, 320, 240),
                         { left: 0, top: 20, width: 1280, height: 960, devicePixels: 1280, sharp: true, resolution: 4 });
  // A phone upright, 390x844 at three device pixels each: 1170 device
  // pixels across, not a whole multiple of 320, so scaled smoothly.
  const portrait = fitPicture(390, 844, 3, 320, 240);
  assert.strictEqual(portrait.devicePixels, 1170);
  assert.strictEqual(portrait.width, 390);
  assert.strictEqual(portrait.sharp, false);
  assert.strictEqual(portrait.resolution, 4);
  // The same phone on its side: the height decides.
  const landscape = fitPicture(844, 390, 3, 320, 240);
  assert.strictEqual(landscape.devicePixels, 1560);
  assert.strictEqual(landscape.height * 3, 1170);
  assert.strictEqual(landscape.left * 3, (2532 - 1560) / 2);
  assert.strictEqual(landscape.resolution, 5);
  // A frame drawn at N = 4 in a window a little larger: shrinks to the whole multiple.
  const near = fitPicture(1290, 970, 1, 1280, 960);
  assert.deepStrictEqual([near.width, near.height, near.sharp], [1280, 960, true]);
  // A frame larger than the box: scaled down smoothly.
  const down = fitPicture(800, 600, 1, 1280, 960);
  assert.deepStrictEqual([down.width, down.height, down.sharp, down.resolution], [800, 600, false, 3]);
  // Tiny and empty stages: never below one frame pixel of resolution, no NaN.
  assert.strictEqual(fitPicture(100, 50, 1, 320, 240).resolution, 1);
  const empty = fitPicture(0, 0, 1, 320, 240);
  assert.deepStrictEqual([empty.width, empty.height, empty.resolution], [0, 0, 1]);
});

test('every stage size keeps the shape, fits, and is the largest box or a whole multiple close to it', () => {
  for (const dpr of [1, 1.25, 2, 3]) {
    for (let w = 100; w <= 2000; w += 37) {
      for (let h = 100; h <= 1400; h += 41) {
        for (const n of [1, 2, 3]) {
          const f = fitPicture(w, h, dpr, 320 * n, 240 * n);
          const dw = Math.round(f.width * dpr), dh = Math.round(f.height * dpr);
          const stageW = Math.round(w * dpr), stageH = Math.round(h * dpr);
          const where = `${w}x${h} at ${dpr}, frame ${320 * n}`;
          assert.ok(dw <= stageW && dh <= stageH, `fits: ${where}`);
          assert.ok(Math.abs(dw * 3 - dh * 4) <= 4, `4:3: ${where} gives ${dw}x${dh}`);
          assert.ok(Number.isInteger(Math.round(f.left * dpr * 1e6) / 1e6), `left on a device pixel: ${where}`);
          assert.ok(Math.abs((stageW - dw) - 2 * Math.round(f.left * dpr)) <= 1, `centred: ${where}`);
          const largest = Math.min(stageW, Math.floor((stageH * 4) / 3));
          if (f.sharp) assert.ok(dw % (320 * n) === 0 && dw >= 0.97 * largest, `whole multiple: ${where}`);
          else assert.strictEqual(dw, largest, `largest: ${where}`);
        }
      }
    }
  }
});

test('the seek bar lands on tenths and stops a tenth before the end', () => {
  assert.strictEqual(seekTime(0, 135), 0);
  assert.strictEqual(seekTime(0.5, 135), 67.5);
  assert.strictEqual(seekTime(1, 135), 134.9);
  assert.strictEqual(seekTime(2, 135), 134.9);
  assert.strictEqual(seekTime(-1, 135), 0);
  assert.strictEqual(seekTime(NaN, 135), 0);
  assert.strictEqual(seekTime(45 / 135, 135), 45);
  assert.strictEqual(lastSeekable(40.05), 39.9);
  assert.strictEqual(lastSeekable(0.05), 0);
  assert.deepStrictEqual([0, 59.99, 60, 135].map(clock), ['0:00', '0:59', '1:00', '2:15']);
});

// Plays `seconds` of frames on a machine whose frames cost cost(n, t) ms at
// N = n: each is shown at the next 60 Hz refresh after it is done. Returns
// the changes of N with their times (ms).
function play(auto, cost, seconds, from = 0) {
  const period = 1000 / 60;
  const changes = [];
  let now = from;
  while (now < from + seconds * 1000) {
    const busy = cost(auto.n, now);
    const before = auto.n;
    const n = auto.frame(busy, now + busy);
    if (n !== before) changes.push({ at: now + busy, from: before, to: n });
    now += Math.max(1, Math.ceil(busy / period)) * period;
  }
  return changes;
}
const pixels = (perN1, fixed = 0.5) => (n) => fixed + perN1 * n * n;

test('auto resolution: a fast machine climbs to the screen\'s N, no further, at most once a second', () => {
  const auto = new AutoResolution(4);
  const changes = play(auto, pixels(0.4), 20);
  assert.strictEqual(auto.n, 4);
  assert.ok(changes.length >= 1);
  // After the first estimate, steps up are one at a time, a second apart.
  for (let i = 1; i < changes.length; i++) {
    assert.strictEqual(changes[i].to, changes[i].from + 1);
    assert.ok(changes[i].at - changes[i - 1].at >= 1000);
  }
  assert.strictEqual(play(auto, pixels(0.4), 20).length, 0);
  // A busy machine's late frame now and then does not keep it down.
  const busy = new AutoResolution(4);
  let k = 0;
  play(busy, (n) => (++k % 40 === 0 ? 40 : pixels(0.4)(n)), 20);
  assert.strictEqual(busy.n, 4);
});

test('auto resolution: the first estimate picks the largest N predicted in time', () => {
  // 2.5 ms a frame at N = 1: N = 2 costs about 9.5 ms, N = 3 about 21 ms.
  const auto = new AutoResolution(8);
  const changes = play(auto, pixels(2.3, 0.2), 1);
  assert.deepStrictEqual(changes.map((c) => c.to), [2]);
  // and stays there: N = 3 would be late.
  assert.strictEqual(play(auto, pixels(2.3, 0.2), 30, 1000).length, 0);
});

test('auto resolution: a slowed machine steps down within a second, a hiccup does not', () => {
  const auto = new AutoResolution(4, 3);
  assert.strictEqual(auto.n, 3);
  // In time at N = 3 (10 ms), with a 200 ms pause now and then.
  assert.strictEqual(play(auto, (n, t) => (Math.floor(t / 16.7) % 90 === 5 ? 200 : pixels(1.1)(n)), 10).length, 0);
  assert.strictEqual(auto.n, 3);
  // Slowed six times: 60 ms a frame at N = 3.
  const changes = play(auto, pixels(6.6, 3), 3, 10000);
  assert.ok(changes.length >= 1);
  assert.ok(changes[0].at - 10000 < 1000, `first step down after ${changes[0].at - 10000} ms`);
  assert.strictEqual(auto.n, 1);
});

test('auto resolution: no see-saw where the next N would be late', () => {
  // N = 2 would take 14 ms: in time, but over the prediction's margin; N = 1 stays.
  const auto = new AutoResolution(4, 1);
  assert.strictEqual(play(auto, pixels(3.4, 0.4), 60).length, 0);
  assert.strictEqual(auto.n, 1);
  // A machine on the edge at N = 2 (about 15 ms, every third frame late): no change either way.
  const edge = new AutoResolution(4, 2);
  let k = 0;
  const changes = play(edge, (n) => (n === 2 ? (++k % 3 === 0 ? 17 : 14) : 3.6), 60);
  assert.deepStrictEqual(changes, []);
});

test('auto resolution: frames after a seek or pause are not counted; a smaller stage lowers N at once', () => {
  const auto = new AutoResolution(4, 3);
  auto.settle();
  // A seek replays up to a second undrawn: a few very long frames.
  for (let i = 0; i < 6; i++) assert.strictEqual(auto.frame(400, i * 400), 3);
  assert.strictEqual(play(auto, pixels(1.1), 5, 3000).length, 0);
  assert.strictEqual(auto.setLimit(2, 9000), 2);
  assert.strictEqual(auto.setLimit(6, 9100), 2);
  // Unknown busy times (the first frame of all) are ignored.
  assert.strictEqual(auto.frame(NaN, 9200), 2);
});
