// The page's arithmetic, kept apart from the page so that node can test it
// (web/logic_test.cjs): where the picture goes, the resolution worth drawing,
// the seek bar's times, and the automatic choice of resolution from how long
// frames take. No access to the document here.
(function (exports) {
  'use strict';

  const kMaxResolution = 8;   // as the engine's cap
  const kSnap = 0.03;         // a box this much larger than a whole multiple shrinks to it

  // The picture in a stage of width x height CSS pixels at dpr device pixels
  // each: the largest box of the frame's shape that fits, centred on whole
  // device pixels. Where the box is within a few per cent of a whole multiple
  // of the frame it becomes that multiple, shown with square pixels (sharp);
  // otherwise the browser scales it smoothly. Sizes in CSS pixels, but for
  // devicePixels (the box's width in device pixels) and resolution: the N
  // whose 320N columns come nearest the screen pixels the box covers.
  function fitPicture(width, height, dpr, frameWidth, frameHeight) {
    const stageW = Math.max(0, Math.round(width * dpr));
    const stageH = Math.max(0, Math.round(height * dpr));
    const fitW = Math.min(stageW, Math.floor((stageH * frameWidth) / frameHeight));
    let w = fitW;
    let h = Math.floor((w * frameHeight) / frameWidth);
    const k = Math.floor(w / frameWidth);
    const sharp = k >= 1 && k * frameWidth >= (1 - kSnap) * w;
    if (sharp) {
      w = k * frameWidth;
      h = k * frameHeight;
    }
    const left = Math.floor((stageW - w) / 2);
    const top = Math.floor((stageH - h) / 2);
    return {
      left: left / dpr, top: top / dpr, width: w / dpr, height: h / dpr, devicePixels: w, sharp,
      resolution: Math.min(kMaxResolution, Math.max(1, Math.round(fitW / 320))),
    };
  }

  // "m:ss" of t seconds.
  function clock(t) {
    const s = Math.max(0, Math.floor(t + 1e-6));
    return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
  }

  // The last time the seek bar reaches: a tenth before the end (seeking to
  // the end would end the run).
  function lastSeekable(end) { return Math.max(0, Math.floor((end - 0.1) * 10 + 1e-6) / 10); }

  // The time at `fraction` (0..1) of the seek bar, in whole tenths of a
  // second as the keys' seeks land.
  function seekTime(fraction, end) {
    const f = Math.min(1, Math.max(0, Number.isFinite(fraction) ? fraction : 0));
    return Math.min(lastSeekable(end), Math.round(f * end * 10) / 10);
  }

  // Chooses the drawing resolution N (1 .. limit) from how long each frame
  // keeps the page busy (drawing, handing over, the work around it), against
  // the budget of one frame at 60 fps. A frame's cost grows with its pixels,
  // N squared, so the busy time at one N predicts the others.
  //  - It starts at N = 1 and, after a short measurement, jumps to the N the
  //    measurement predicts (the estimate), unless told where to start.
  //  - A run of late frames (most of the last dozen) steps down, to the N
  //    the recent frames predict, at least one lower.
  //  - A long run of frames in time (a late one now and then allowed, not
  //    three in a dozen) steps up by one, at most once a second, and only
  //    where the next N is predicted to be in time too (no see-saw).
  //  - Frames right after a change, a seek or a pause are not counted:
  //    settle() says one happened.
  class AutoResolution {
    constructor(limit, start) {
      this.budget = 1000 / 60;   // ms of one frame at 60 fps
      this.late = 0.9;           // a frame busier than this share of the budget is late
      this.target = 0.7;         // predictions aim at this share
      this.window = 12;          // frames looked at for a step down ...
      this.downLate = 8;         // ... of which this many late step down
      this.upRun = 120;          // frames in time before a step up ...
      this.upLate = 3;           // ... unless this many of a dozen are late
      this.upEvery = 1000;       // ms at least between a change and a step up
      this.estimateFrames = 20;  // frames measured for the first estimate
      this.settleFrames = 6;     // frames not counted after a change, seek or pause
      this.limit = Math.max(1, limit);
      this.n = Math.min(this.limit, Math.max(1, start || 1));
      this.estimated = Boolean(start);
      this.changedAt = -Infinity;
      this.settle();
    }

    // Forget the recent frames: they do not show the drawing's pace.
    settle() {
      this.recent = [];
      this.counted = 0;
      this.inTime = 0;
      this.skip = this.settleFrames;
    }

    change(n, now) {
      if (n !== this.n) this.changedAt = now;
      this.n = n;
      this.settle();
    }

    // The stage changed: N stays at most the new limit. Returns N.
    setLimit(limit, now) {
      this.limit = Math.max(1, limit);
      if (this.n > this.limit) this.change(this.limit, now);
      return this.n;
    }

    median() {
      const sorted = this.recent.slice().sort((a, b) => a - b);
      return sorted[sorted.length >> 1];
    }

    // The largest N (1 .. limit) whose frames the recent ones predict in time.
    predict() {
      const perPixel = this.median() / (this.n * this.n);
      let n = 1;
      while (n < this.limit && perPixel * (n + 1) * (n + 1) <= this.target * this.budget) n++;
      return n;
    }

    // One frame drawn while playing: busy ms, at now ms. Returns N from now on.
    frame(busy, now) {
      if (!Number.isFinite(busy) || busy < 0) return this.n;
      if (this.skip > 0) {
        this.skip--;
        return this.n;
      }
      this.recent.push(busy);
      if (this.recent.length > this.window) this.recent.shift();
      this.counted++;
      const lateFrames = this.recent.filter((b) => b > this.late * this.budget).length;
      this.inTime = lateFrames >= this.upLate ? 0 : this.inTime + 1;
      if (!this.estimated) {
        if (this.counted >= this.estimateFrames) {
          this.estimated = true;
          this.change(this.predict(), now);
        }
        return this.n;
      }
      if (this.n > 1 && lateFrames >= this.downLate) {
        this.change(Math.max(1, Math.min(this.n - 1, this.predict())), now);
      } else if (this.n < this.limit && this.inTime >= this.upRun && now - this.changedAt >= this.upEvery &&
                 this.predict() > this.n) {
        this.change(this.n + 1, now);
      }
      return this.n;
    }
  }

  Object.assign(exports, { fitPicture, clock, lastSeekable, seekTime, AutoResolution, kMaxResolution });
})(typeof module !== 'undefined' ? module.exports : (window.teqLogic = {}));
