// The live page: shows the standings the program sends, follows the bibs a coach taps (kept
// in the address as ?volg=203,207 so a bookmark keeps them) and, as a hall screen (?bord),
// scrolls a long list by itself. One WebSocket brings a full snapshot on connect and after
// every change; when the network drops, it connects again and the new snapshot catches up.
"use strict";
(function () {
  const params = new URLSearchParams(location.search);
  const board = params.has("bord");
  let followed = (params.get("volg") || "").split(",").map(s => s.trim()).filter(s => s !== "");
  let byBib = params.get("op") === "rugnummer";
  let stand = null;
  let socket = null;
  let retry = 1000;
  const $ = id => document.getElementById(id);

  function el(tag, text, cls) {
    const e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = text;
    if (cls) e.className = cls;
    return e;
  }
  const shown = t => (t === null || t === undefined ? "" : t);

  function lastLap(c) {
    for (let i = c.lapTimes.length - 1; i >= 0; --i) if (c.lapTimes[i] !== null) return c.lapTimes[i];
    return null;
  }
  function bibOrder(a, b) {
    const na = Number(a.bib), nb = Number(b.bib);
    if (a.bib !== "" && b.bib !== "" && !isNaN(na) && !isNaN(nb)) return na - nb;
    return a.bib.localeCompare(b.bib, "nl");
  }

  function keepInAddress() {
    const p = new URLSearchParams(location.search);
    if (followed.length) p.set("volg", followed.join(",")); else p.delete("volg");
    if (byBib) p.set("op", "rugnummer"); else p.delete("op");
    const q = p.toString().replace(/%2C/g, ",").replace(/bord=(&|$)/, "bord$1");
    history.replaceState(null, "", location.pathname + (q ? "?" + q : ""));
  }
  function toggle(bib) {
    if (bib === "") return;
    const at = followed.indexOf(bib);
    if (at >= 0) followed.splice(at, 1); else followed.push(bib);
    keepInAddress();
    render();
  }

  function renderHead() {
    $("blad").textContent = stand.sheet || "Live uitslagen";
    document.title = (stand.sheet ? stand.sheet + " – " : "") + "Live uitslagen";
    $("sport").textContent = stand.sport;
    $("heat").textContent = stand.heat ? "Heat " + stand.heat : "";
    $("laatste").textContent = stand.latest ? "Laatste passering " + stand.latest : "Nog geen passering";
  }

  function renderFollowed() {
    const box = $("gevolgd");
    box.replaceChildren();
    for (const bib of followed) {
      const c = stand.competitors.find(x => x.bib === bib);
      const card = el("div", null, "kaart");
      card.dataset.bib = bib;
      card.addEventListener("click", () => toggle(bib));
      card.append(el("div", bib + (c && c.name ? " " + c.name : ""), "wie"));
      if (!c) {
        card.append(el("div", "Rugnummer " + bib + " doet niet mee in deze stand.", "meer"));
      } else {
        card.append(el("div", shown(lastLap(c)) || "–", "ronde"));
        const place = c.place !== null ? "plaats " + c.place + " · " : "";
        card.append(el("div", place + "ronde " + c.lapsDone + (c.finished ? " · binnen" : ""), "meer"));
        card.append(el("div", "beste " + (shown(c.bestLap) || "–") + " · totaal " + (shown(c.total) || "–"), "meer"));
      }
      box.append(card);
    }
  }

  function renderTable() {
    const head = $("koppen");
    head.replaceChildren();
    const cols = [["Pl.", ""], ["Rugnr.", ""], ["Naam", "links"], ["Heat", "links heat"], ["Rondes", ""]];
    for (let i = 1; i <= stand.laps; ++i) cols.push(["R" + i, ""]);
    cols.push(["Laatste", ""], ["Beste", ""], ["Totaal", ""]);
    for (const [t, cls] of cols) head.append(el("th", t, cls));

    let fastest = null;
    for (const c of stand.competitors) if (c.bestLap !== null && (fastest === null || durationOf(c.bestLap) < durationOf(fastest))) fastest = c.bestLap;

    const rows = stand.competitors.slice();
    if (byBib) rows.sort(bibOrder);
    const body = $("rijen");
    body.replaceChildren();
    for (const c of rows) {
      const tr = el("tr");
      tr.dataset.bib = c.bib;
      if (followed.includes(c.bib)) tr.className = "gevolgd";
      else if (c.finished) tr.className = "binnen";
      tr.addEventListener("click", () => toggle(c.bib));
      tr.append(el("td", c.place === null ? "" : c.place), el("td", c.bib),
        el("td", c.name, "links"), el("td", c.heat, "links heat"), el("td", c.lapsDone));
      for (let i = 0; i < stand.laps; ++i) {
        const t = i < c.lapTimes.length ? c.lapTimes[i] : null;
        tr.append(el("td", shown(t), t !== null && t === fastest ? "snelst" : ""));
      }
      tr.append(el("td", shown(lastLap(c)), "laatste"), el("td", shown(c.bestLap)), el("td", shown(c.total)));
      body.append(tr);
    }
    $("leeg").hidden = stand.competitors.length > 0;
  }

  function durationOf(text) {
    return text.split(":").reduce((sum, part) => sum * 60 + Number(part), 0);
  }

  function render() {
    if (!stand) return;
    renderHead();
    renderFollowed();
    renderTable();
    $("opPlaats").className = byBib ? "" : "gekozen";
    $("opRugnummer").className = byBib ? "gekozen" : "";
  }

  function take(text) {
    try {
      stand = JSON.parse(text);
    } catch (e) {
      return;
    }
    render();
  }

  function status(live, text) {
    const s = $("verbinding");
    s.className = live ? "live" : "weg";
    s.textContent = text;
  }

  function connect() {
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    socket = new WebSocket(scheme + location.host + "/ws");
    socket.binaryType = "arraybuffer";
    socket.onopen = () => { retry = 1000; status(true, "Live"); };
    socket.onmessage = ev => take(typeof ev.data === "string" ? ev.data : new TextDecoder().decode(ev.data));
    socket.onclose = () => {
      status(false, "Verbinding weg – opnieuw verbinden…");
      setTimeout(connect, retry);
      retry = Math.min(retry * 2, 10000);
    };
  }

  // The hall screen scrolls down slowly, waits at the end, and starts at the top again.
  function scrollBoard() {
    let pause = 0;
    setInterval(() => {
      if (pause > 0) { --pause; return; }
      const end = document.documentElement.scrollHeight - window.innerHeight;
      if (end <= 0) return;
      if (window.scrollY >= end - 1) { pause = 60; window.scrollTo(0, 0); return; }
      window.scrollBy(0, 1);
    }, 50);
  }

  $("opPlaats").addEventListener("click", () => { byBib = false; keepInAddress(); render(); });
  $("opRugnummer").addEventListener("click", () => { byBib = true; keepInAddress(); render(); });
  if (board) { document.body.classList.add("bord"); scrollBoard(); }
  fetch("/api/stand").then(r => r.text()).then(t => { if (!stand) take(t); }).catch(() => {});
  connect();
})();
