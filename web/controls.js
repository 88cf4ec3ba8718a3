// The page's playback controls over the picture, as video players have them:
// shown when the pointer moves, on a tap or when a control takes the focus,
// faded after two seconds without input (never while the pointer rests on
// them or the demo is paused). Play/pause, a seek bar with the time, mute,
// the drawing resolution (Auto or a fixed N) and fullscreen; a tap or click
// on the picture pauses or resumes (a tap first shows the controls), a
// double tap or double click toggles fullscreen. The picture fills the
// largest 4:3 box of the window and follows its size (logic.js).
//
// The run hears the controls through send(kind, value), kinds as
// platform::Control's; it tells where play is through playback() and how
// long each frame took through frame().
'use strict';
window.teqControls = function (page) {
  const { fitPicture, clock, lastSeekable, seekTime, AutoResolution, kMaxResolution } = window.teqLogic;
  const Control = { Pause: 0, SeekTo: 5, SetResolution: 6 };
  const kHideAfter = 2000;    // ms without input before the controls fade
  const kDoubleTap = 350;     // ms between the taps of a double tap
  const kTapSlop = 24;        // CSS px a tap may move
  const kSeekStep = 5;        // s, the seek bar's arrow keys (as the demo's)

  const { canvas, stage, params, teq, send } = page;
  const ui = document.getElementById('ui');
  const bar = document.getElementById('bar');
  const seek = document.getElementById('seek');
  const seekFill = document.getElementById('seek-fill');
  const seekThumb = document.getElementById('seek-thumb');
  const time = document.getElementById('time');
  const play = document.getElementById('play');
  const mute = document.getElementById('mute');
  const resolution = document.getElementById('resolution');
  const fullscreenButton = document.getElementById('fullscreen');

  // What the page knows of the run, for the controls and for make web-check.
  const state = teq.controls = {
    shown: false, playing: false, paused: false, t: 0, end: 0, muted: params.has('mute'),
    auto: null, limit: 1, n: 1, fixed: 0, box: null,
  };
  const asked = params.get('resolution');
  if (asked && asked !== 'auto') state.fixed = Math.min(kMaxResolution, Math.max(1, Math.round(Number(asked)) || 1));

  // ---- The picture's place: the largest 4:3 box, whole device pixels. ----
  function fit() {
    const dpr = window.devicePixelRatio || 1;
    const box = fitPicture(stage.clientWidth, stage.clientHeight, dpr, canvas.width, canvas.height);
    state.box = box;
    canvas.style.left = box.left + 'px';
    canvas.style.top = box.top + 'px';
    canvas.style.width = box.width + 'px';
    canvas.style.height = box.height + 'px';
    canvas.classList.toggle('smooth', !box.sharp);
    // The bar below the picture where there is room (a phone upright), else over its foot.
    const height = bar.offsetHeight || 72;
    bar.style.left = box.left + 'px';
    bar.style.width = box.width + 'px';
    bar.style.top = Math.min(box.top + box.height, stage.clientHeight - height) + 'px';
    if (box.resolution !== state.limit) {
      state.limit = box.resolution;
      if (state.auto) state.auto.setLimit(state.limit, performance.now());
      fillResolutions();
      if (state.playing) drawAt(chosen());
    }
  }
  new ResizeObserver(fit).observe(stage);
  new MutationObserver(fit).observe(canvas, { attributes: true, attributeFilter: ['width', 'height'] });
  // A change of the device pixel ratio (zoom, another screen) moves no box edge by itself.
  (function watchRatio() {
    const query = matchMedia(`(resolution: ${window.devicePixelRatio || 1}dppx)`);
    query.addEventListener('change', function () { fit(); watchRatio(); }, { once: true });
  })();

  // ---- Resolution: Auto (from the screen and the machine's speed) or N. ----
  function chosen() { return state.fixed || (state.auto ? state.auto.n : 1); }
  function drawAt(n) {
    n = Math.min(kMaxResolution, Math.max(1, n));
    if (n !== state.n) {
      state.n = n;
      send(Control.SetResolution, n);
    }
    fillResolutions();
  }
  function fillResolutions() {
    const top = Math.max(state.limit, state.fixed, state.n);
    const options = [['auto', state.fixed ? 'Auto' : `Auto ${state.n}\u00d7`]];
    for (let n = 1; n <= top; n++) options.push([String(n), `${n}\u00d7`]);
    const same = resolution.options.length === options.length &&
                 options.every(([v, text], i) => resolution.options[i].value === v && resolution.options[i].text === text);
    if (!same) {
      resolution.replaceChildren(...options.map(([v, text]) => new Option(text, v)));
    }
    resolution.value = state.fixed ? String(state.fixed) : 'auto';
    resolution.title = `Resolution (R): ${320 * state.n}\u00d7${240 * state.n}` + (state.fixed ? '' : ', chosen automatically');
  }
  function choose(value) {
    if (value === 'auto') {
      state.fixed = 0;
      // From the resolution in force: the machine's pace decides from here.
      state.auto = new AutoResolution(state.limit, state.n);
    } else {
      state.fixed = Number(value);
    }
    drawAt(chosen());
  }
  resolution.addEventListener('change', function () { choose(resolution.value); wake(); });
  // R: Auto, 1, 2, ... up to the screen's N, Auto again.
  function stepResolution() {
    const top = Math.max(state.limit, state.fixed);
    choose(!state.fixed ? '1' : state.fixed >= top ? 'auto' : String(state.fixed + 1));
  }
  // The N the run starts at (its --resolution): fixed, or Auto's start.
  function startResolution() {
    if (!state.fixed) state.auto = new AutoResolution(state.limit);
    state.n = chosen();
    fillResolutions();
    return state.n;
  }

  // ---- Sound: muted by routing the run's output through a silent gain. ----
  let routed = null, gain = null;
  function applyMute() {
    const sdl = window.Module && Module.SDL2;
    const node = sdl && sdl.audio && sdl.audio.scriptProcessorNode;
    if (node && node !== routed) {
      gain = sdl.audioContext.createGain();
      gain.connect(sdl.audioContext.destination);
      node.disconnect();
      node.connect(gain);
      routed = node;
    }
    if (gain) gain.gain.value = state.muted ? 0 : 1;
    mute.setAttribute('aria-pressed', String(state.muted));
    mute.setAttribute('aria-label', state.muted ? 'Unmute' : 'Mute');
    mute.title = state.muted ? 'Unmute (M)' : 'Mute (M)';
  }
  function toggleMute() {
    state.muted = !state.muted;
    applyMute();
  }
  mute.addEventListener('click', function () { toggleMute(); wake(); });
  applyMute();

  // ---- Fullscreen: the stage, so the picture's box and the controls hold there. ----
  function fullscreenElement() { return document.fullscreenElement || document.webkitFullscreenElement; }
  function toggleFullscreen() {
    if (fullscreenElement()) {
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
      return 0;
    }
    const request = stage.requestFullscreen || stage.webkitRequestFullscreen;
    if (request) Promise.resolve(request.call(stage)).catch(function () {});
    return 1;
  }
  fullscreenButton.addEventListener('click', function () { toggleFullscreen(); wake(); });
  function showFullscreen() {
    fullscreenButton.setAttribute('aria-label', fullscreenElement() ? 'Leave fullscreen' : 'Fullscreen');
  }
  document.addEventListener('fullscreenchange', showFullscreen);
  document.addEventListener('webkitfullscreenchange', showFullscreen);

  // ---- Pause, seek. ----
  function togglePause() {
    if (!state.playing) return;
    send(Control.Pause, 0);
    if (state.auto) state.auto.settle();
  }
  play.addEventListener('click', function () { togglePause(); wake(); });

  let dragging = null;       // the pointer on the seek bar, while it is down
  let shownTarget = null;    // a seek's target until the run reports it
  let reportsToTarget = 0;   // reports of the run before it shows the seek
  let lastSeek = 0;          // ms of the last seek sent while dragging
  function seekTo(t) {
    t = Math.min(lastSeekable(state.end), Math.max(0, Math.round(t * 10) / 10));
    send(Control.SeekTo, t);
    shownTarget = t;
    // The run takes the seek after its next report, so the second one shows it.
    reportsToTarget = 2;
    if (state.auto) state.auto.settle();
    showTime(t);
  }
  function fractionAt(x) {
    const r = seekFill.parentElement.getBoundingClientRect();
    return r.width > 0 ? (x - r.left) / r.width : 0;
  }
  seek.addEventListener('pointerdown', function (e) {
    if (!state.playing || e.button > 0) return;
    e.preventDefault();
    seek.setPointerCapture(e.pointerId);
    dragging = e.pointerId;
    seek.classList.add('dragging');
    showTime(seekTime(fractionAt(e.clientX), state.end));
    wake();
  });
  seek.addEventListener('pointermove', function (e) {
    if (dragging !== e.pointerId) return;
    const t = seekTime(fractionAt(e.clientX), state.end);
    showTime(t);
    // The picture follows while dragging, a seek at a time (each replays up to a second of frames).
    if (performance.now() - lastSeek > 200 && shownTarget === null) {
      lastSeek = performance.now();
      seekTo(t);
    }
    wake();
  });
  function release(e) {
    if (dragging !== e.pointerId) return;
    dragging = null;
    seek.classList.remove('dragging');
    if (e.type === 'pointerup') seekTo(seekTime(fractionAt(e.clientX), state.end));
    wake();
  }
  seek.addEventListener('pointerup', release);
  seek.addEventListener('pointercancel', release);
  // The seek bar's keys (taken before the demo sees them): arrows 5 s, pages
  // 10 s, Home and End. True when the key was one of them.
  function seekKey(e) {
    const step = { ArrowLeft: -kSeekStep, ArrowDown: -kSeekStep, ArrowRight: kSeekStep, ArrowUp: kSeekStep,
                   PageDown: -2 * kSeekStep, PageUp: 2 * kSeekStep }[e.key];
    let t = null;
    if (step !== undefined) t = (shownTarget !== null ? shownTarget : state.t) + step;
    else if (e.key === 'Home') t = 0;
    else if (e.key === 'End') t = lastSeekable(state.end);
    if (t === null) return false;
    e.preventDefault();
    seekTo(t);
    return true;
  }

  function showTime(t) {
    const f = state.end > 0 ? Math.min(1, Math.max(0, t / state.end)) : 0;
    seekFill.style.width = 100 * f + '%';
    seekThumb.style.left = 100 * f + '%';
    const text = clock(t) + ' / ' + clock(state.end);
    if (time.textContent !== text) time.textContent = text;
    const now = String(Math.round(t * 10) / 10);
    if (seek.getAttribute('aria-valuenow') !== now) {
      seek.setAttribute('aria-valuenow', now);
      seek.setAttribute('aria-valuemax', String(lastSeekable(state.end)));
      seek.setAttribute('aria-valuetext', clock(t) + ' of ' + clock(state.end));
    }
  }

  // ---- Shown and hidden. ----
  let hideTimer = 0, hovered = false;
  function wake() {
    if (!state.playing) return;
    state.shown = true;
    ui.classList.add('shown');
    clearTimeout(hideTimer);
    hideTimer = setTimeout(hide, kHideAfter);
  }
  function hide() {
    if (hovered || dragging !== null || state.paused) {
      hideTimer = setTimeout(hide, kHideAfter);
      return;
    }
    state.shown = false;
    ui.classList.remove('shown');
  }
  bar.addEventListener('pointerenter', function (e) { if (e.pointerType === 'mouse') hovered = true; });
  bar.addEventListener('pointerleave', function () { hovered = false; });
  bar.addEventListener('focusin', wake);
  // A mouse that moves (not one that merely sits under a moving picture).
  let lastMouse = null;
  ui.addEventListener('pointermove', function (e) {
    if (e.pointerType !== 'mouse') return;
    if (lastMouse && lastMouse.x === e.clientX && lastMouse.y === e.clientY) return;
    lastMouse = { x: e.clientX, y: e.clientY };
    wake();
  });

  // ---- Taps and clicks on the picture. ----
  // Touch: a tap shows the controls; one more while they show pauses or
  // resumes. Mouse: a click pauses or resumes. Either way two in quick
  // succession toggle fullscreen instead (the first one's pause waits for it).
  let down = null, lastTap = null, pendingTap = 0;
  ui.addEventListener('pointerdown', function (e) {
    if (bar.contains(e.target) || e.button > 0) return;
    down = { id: e.pointerId, x: e.clientX, y: e.clientY, shown: state.shown, touch: e.pointerType !== 'mouse' };
    wake();
  });
  ui.addEventListener('pointerup', function (e) {
    if (!down || down.id !== e.pointerId) return;
    const tap = down;
    down = null;
    if (Math.hypot(e.clientX - tap.x, e.clientY - tap.y) > kTapSlop) return;
    const now = e.timeStamp;
    if (lastTap && now - lastTap.at < kDoubleTap && Math.hypot(e.clientX - lastTap.x, e.clientY - lastTap.y) < 4 * kTapSlop) {
      clearTimeout(pendingTap);
      lastTap = null;
      toggleFullscreen();
      return;
    }
    lastTap = { at: now, x: e.clientX, y: e.clientY };
    if (tap.touch && !tap.shown) return;   // this tap only showed the controls
    clearTimeout(pendingTap);
    pendingTap = setTimeout(function () { togglePause(); wake(); }, kDoubleTap);
  });
  ui.addEventListener('pointercancel', function () { down = null; });
  ui.addEventListener('contextmenu', function (e) { e.preventDefault(); });

  // ---- Keys. The demo's own (Space, Left, Right, Home, F, Q, Esc) reach it
  // as before; the page takes R (resolution, Auto included), M (mute), Tab
  // and the keys of a focused control, which the demo must not also see. ----
  window.addEventListener('keydown', function (e) {
    if (!state.playing || e.ctrlKey || e.altKey || e.metaKey) return;
    const onControl = bar.contains(e.target) && e.target !== seek;
    if (e.key === 'Tab') {
      e.stopPropagation();   // the demo's window would keep Tab from moving the focus
      wake();
      return;
    }
    if (onControl && (e.key === 'Enter' || e.key === ' ' || e.key.startsWith('Arrow') || e.target === resolution)) {
      e.stopPropagation();   // the focused button or list takes it
      wake();
      return;
    }
    const key = e.key.toLowerCase();
    if (key === 'r') {
      e.stopPropagation();
      stepResolution();
      wake();
    } else if (key === 'm') {
      e.stopPropagation();
      toggleMute();
      wake();
    } else if (e.target === seek && seekKey(e)) {
      e.stopPropagation();
      wake();
    } else if (['ArrowLeft', 'ArrowRight', 'Home', ' '].includes(e.key)) {
      // The demo seeks or pauses: the next frames do not show its pace.
      if (state.auto) state.auto.settle();
      if (e.key !== ' ') wake();
    }
    // calm: C toggles calm mode in the demo itself; its button in #calm-slot shows the state.
  }, true);

  // ---- What the run reports. ----
  // Once a frame while playing: t, the end, paused.
  function playback(t, end, paused) {
    const first = !state.playing;
    state.playing = true;
    if (first) {
      ui.classList.add('playing');
      wake();
      fit();
    }
    if (paused !== state.paused || first) {
      state.paused = Boolean(paused);
      ui.classList.toggle('paused', state.paused);
      play.setAttribute('aria-label', state.paused ? 'Play' : 'Pause');
      play.title = state.paused ? 'Play (Space)' : 'Pause (Space)';
      if (state.auto) state.auto.settle();
    }
    if (shownTarget !== null && --reportsToTarget <= 0) shownTarget = null;
    state.t = t;
    state.end = end;
    if (routed !== (Module.SDL2 && Module.SDL2.audio && Module.SDL2.audio.scriptProcessorNode)) applyMute();
    if (state.shown && dragging === null) showTime(shownTarget !== null ? shownTarget : t);
  }
  // Once a frame: how long the page was busy with it (ms).
  function frame(busy) {
    if (!state.playing || state.paused || !state.auto || state.fixed) return;
    const n = state.auto.frame(busy, performance.now());
    if (n !== state.n) drawAt(n);
  }
  function ended() {
    state.playing = false;
    ui.classList.remove('playing', 'shown');
    clearTimeout(hideTimer);
  }

  fit();
  fillResolutions();
  return {
    playback, frame, ended, startResolution, toggleFullscreen,
    limit: function () { return state.limit; },
  };
};
