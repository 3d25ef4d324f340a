// The live view's page. It shows the stream (/stream.mjpg) in an image
// element, which the browser replaces part by part, and asks /api/status
// twice a second for the rate, the counts, the exposure and the histogram.
#include "host/LivePage.h"

namespace {

const char kPage[] = R"PAGE(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>framegrab live view</title>
<style>
  :root { color-scheme: dark; --panel: #1e2126; --line: #353a42; --text: #e6e6e6;
          --dim: #9aa0a8; --accent: #5fb3ff; }
  * { box-sizing: border-box; }
  body { margin: 0; background: #121417; color: var(--text);
         font: 14px/1.4 system-ui, sans-serif; }
  header { display: flex; align-items: baseline; gap: 1em; padding: 8px 16px;
           border-bottom: 1px solid var(--line); }
  header h1 { font-size: 16px; margin: 0; }
  header span { color: var(--dim); }
  main { display: flex; flex-wrap: wrap; gap: 16px; padding: 16px; }
  #view { flex: 1 1 640px; margin: 0; min-width: 320px; }
  #live { display: block; width: 100%; height: auto; background: #000; }
  aside { flex: 0 1 300px; display: flex; flex-direction: column; gap: 12px; }
  section { background: var(--panel); border: 1px solid var(--line); border-radius: 6px;
            padding: 10px 12px; }
  h2 { font-size: 12px; text-transform: uppercase; letter-spacing: .06em;
       color: var(--dim); margin: 0 0 8px; }
  dl { display: grid; grid-template-columns: auto 1fr; gap: 2px 12px; margin: 0; }
  dt { color: var(--dim); }
  dd { margin: 0; text-align: right; font-variant-numeric: tabular-nums; }
  .row { display: flex; align-items: center; gap: 8px; }
  input[type=range] { width: 100%; accent-color: var(--accent); }
  input[type=number] { width: 9em; background: #0d0f12; color: var(--text);
                       border: 1px solid var(--line); border-radius: 4px; padding: 3px 6px; }
  #note { color: var(--dim); min-height: 1.4em; }
  #note.error { color: #ff7b72; }
  canvas { display: block; width: 100%; height: 100px; background: #0d0f12; }
  .button { display: inline-block; padding: 5px 12px; border-radius: 4px; color: #0d0f12;
            background: var(--accent); text-decoration: none; font-weight: 600; }
  footer { color: var(--dim); font-size: 12px; }
  .lost { color: #ff7b72; }
</style>
</head>
<body>
<header><h1>Live view</h1><span id="device"></span><span id="state"></span></header>
<main>
  <figure id="view"><img id="live" src="/stream.mjpg" alt="live picture from the camera"></figure>
  <aside>
    <section>
      <h2>Rate</h2>
      <dl>
        <dt>Frame rate</dt><dd id="fps">&ndash;</dd>
        <dt>Frames</dt><dd id="frames">&ndash;</dd>
        <dt>Missed</dt><dd id="missed">&ndash;</dd>
        <dt>Picture</dt><dd id="size">&ndash;</dd>
      </dl>
    </section>
    <section>
      <h2>Exposure</h2>
      <input id="slider" type="range" min="0" max="1000" step="1" aria-label="exposure">
      <div class="row"><input id="field" type="number" step="1" aria-label="exposure in microseconds">
        <span>&micro;s</span></div>
      <div id="note"></div>
    </section>
    <section>
      <h2>Histogram</h2>
      <canvas id="histogram" width="256" height="100"></canvas>
    </section>
    <section class="row">
      <label><input id="negative" type="checkbox"> Negative</label>
      <span style="flex:1"></span>
      <a id="save" class="button" href="/snapshot.png" download="frame.png">Save PNG</a>
    </section>
    <footer>Plug-in <span id="version">&ndash;</span> &middot; image kernels
      <span id="simd">&ndash;</span></footer>
  </aside>
</main>
<script>
"use strict";
const $ = (id) => document.getElementById(id);
let range = [1, 1];
let frames = 0;

// The slider is logarithmic over the camera's range: short exposures get as
// much travel as long ones.
function toSlider(us) {
  const [lo, hi] = range;
  if (hi <= lo) return 0;
  return Math.round(1000 * Math.log(us / lo) / Math.log(hi / lo));
}
function fromSlider(position) {
  const [lo, hi] = range;
  return Math.round(lo * Math.pow(hi / lo, position / 1000));
}

function note(text, error) {
  $("note").textContent = text;
  $("note").className = error ? "error" : "";
}

async function post(path, body) {
  const answer = await fetch(path, { method: "POST", body: JSON.stringify(body),
                                     headers: { "Content-Type": "application/json" } });
  const text = await answer.text();
  if (!answer.ok) throw new Error(text.trim() || answer.statusText);
  return JSON.parse(text);
}

async function setExposure(us) {
  note("setting " + us + " \u00b5s\u2026");
  try {
    const taken = (await post("/api/exposure", { exposure_us: us })).exposure_us;
    $("field").value = taken;
    $("slider").value = toSlider(taken);
    note("camera took " + taken + " \u00b5s");
  } catch (e) {
    note(e.message, true);
  }
}

function drawHistogram(counts) {
  const canvas = $("histogram"), g = canvas.getContext("2d");
  g.clearRect(0, 0, canvas.width, canvas.height);
  if (!counts.length) return;
  // Logarithmic heights, so that sparse levels still show.
  const top = Math.log1p(Math.max(...counts));
  g.fillStyle = "#5fb3ff";
  counts.forEach((n, level) => {
    const h = top > 0 ? canvas.height * Math.log1p(n) / top : 0;
    g.fillRect(level, canvas.height - h, 1, h);
  });
}

function show(s) {
  range = s.exposure_range_us;
  frames = s.frames;
  $("fps").textContent = s.fps.toFixed(1) + " /s";
  $("frames").textContent = s.frames;
  $("missed").textContent = s.missed;
  $("size").textContent = s.width + " \u00d7 " + s.height;
  $("device").textContent = s.device;
  $("state").textContent = s.lost ? "camera lost" : "";
  $("state").className = s.lost ? "lost" : "";
  $("version").textContent = s.plugin_version;
  $("simd").textContent = s.simd_level;
  $("field").min = range[0];
  $("field").max = range[1];
  // Values the user is editing are left alone.
  if (document.activeElement !== $("field")) $("field").value = s.exposure_us;
  if (document.activeElement !== $("slider")) $("slider").value = toSlider(s.exposure_us);
  if (document.activeElement !== $("negative")) $("negative").checked = s.negative;
  drawHistogram(s.histogram);
}

async function poll() {
  try {
    const answer = await fetch("/api/status", { cache: "no-store" });
    if (answer.ok) show(await answer.json());
  } catch (e) {
    $("state").textContent = "no answer from the server";
  }
  setTimeout(poll, 500);
}

$("slider").addEventListener("input", () => { $("field").value = fromSlider($("slider").value); });
$("slider").addEventListener("change", () => setExposure(fromSlider($("slider").value)));
$("field").addEventListener("change", () => setExposure(Number($("field").value)));
$("negative").addEventListener("change", async () => {
  try { await post("/api/negative", { negative: $("negative").checked }); }
  catch (e) { note(e.message, true); }
});
$("save").addEventListener("click", () => { $("save").download = "frame-" + frames + ".png"; });
// A stream that breaks (the server restarted) is opened again.
$("live").addEventListener("error", () => {
  setTimeout(() => { $("live").src = "/stream.mjpg?" + Date.now(); }, 1000);
});
poll();
</script>
</body>
</html>
)PAGE";

} // namespace

const std::string& LivePageHtml() {
    static const std::string page(kPage);
    return page;
}
