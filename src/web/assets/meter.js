// The meter page: a chart per parameter of one session, reduced by the server to the chart's
// width (uPlot draws it), with zoom, pan, ranges, the alarm limits and the exact row under the
// pointer or finger.
'use strict';

(() => {
  const { el, api, header, live, param } = pexumo;
  const j = param('j');
  const sessionId = param('session');
  const chartsBox = document.getElementById('charts');
  const HOUR = 3600000;
  let meter = null;
  let view = null; // {min, max} in ms, shared by every chart
  let following = true;
  const charts = []; // {list, plot, readout, unit, limits}

  function sessionEnd() {
    return meter.running || !meter.ended_ms ? Date.now() : meter.ended_ms;
  }

  function setView(min, max, fetchNow) {
    const span = Math.max(max - min, 10000); // no tighter than 10 s
    view = { min: min, max: min + span };
    following = view.max >= sessionEnd() - 2000;
    for (const c of charts) c.plot.setScale('x', { min: view.min, max: view.max });
    if (fetchNow) fetchAll();
  }

  function setRange(range) {
    document.querySelectorAll('[data-range]').forEach((b) => b.setAttribute('aria-pressed', String(b.dataset.range === range)));
    const end = sessionEnd();
    if (range === 'session') setView(meter.started_ms, end, true);
    // A session younger than the range is shown from its start.
    else setView(Math.max(end - Number(range), Math.min(meter.started_ms, end - 60000)), end, true);
  }

  let fetchTimer = null;
  function fetchAll() {
    clearTimeout(fetchTimer);
    fetchTimer = setTimeout(() => charts.forEach(fetchChart), 120);
  }

  async function fetchChart(c) {
    const width = Math.max(50, Math.min(4096, Math.round(c.plot.bbox.width / devicePixelRatio)));
    const min = Math.floor(view.min);
    const max = Math.ceil(view.max);
    const q = '/api/series?j=' + encodeURIComponent(j) + '&session=' + encodeURIComponent(sessionId) +
      '&list=' + encodeURIComponent(c.list) + '&from=' + min + '&to=' + max + '&width=' + width;
    try {
      const s = await api(q);
      const n = s.x.length;
      const lowLine = c.limits.low === undefined ? Array(n).fill(null) : Array(n).fill(c.limits.low);
      const highLine = c.limits.high === undefined ? Array(n).fill(null) : Array(n).fill(c.limits.high);
      c.plot.setData([s.x, s.v, s.lo, s.hi, lowLine, highLine], false);
      c.plot.setScale('x', { min: view.min, max: view.max });
      c.plot.root.dataset.points = String(n);
    } catch (e) {
      c.readout.textContent = e.message;
    }
  }

  let rowTimer = null;
  function hover(c, u) {
    const idx = u.cursor.idx;
    if (idx === null || idx === undefined || u.data[1][idx] === null) return;
    const at = Math.round(u.data[0][idx]);
    clearTimeout(rowTimer);
    rowTimer = setTimeout(async () => {
      try {
        const row = await api('/api/row?j=' + encodeURIComponent(j) + '&session=' + encodeURIComponent(sessionId) +
          '&list=' + encodeURIComponent(c.list) + '&at=' + at);
        const date = row.at.slice(0, 10);
        c.readout.textContent = date + ' ' + row.time + ' · ' + row.type + ' ' + row.value + ' ' + row.unit +
          (row.temp ? ' · ' + row.temp + ' ' + row.temp_unit : '');
      } catch (e) { /* the next move tries again */ }
    }, 100);
  }

  function interactions(c) {
    const over = c.plot.over;
    const msPerPx = () => (view.max - view.min) / over.clientWidth;
    over.addEventListener('wheel', (e) => {
      e.preventDefault();
      const at = c.plot.posToVal(e.offsetX, 'x');
      const f = e.deltaY < 0 ? 0.8 : 1.25;
      setView(at - (at - view.min) * f, at + (view.max - at) * f, true);
    }, { passive: false });
    let touches = null;
    over.addEventListener('touchstart', (e) => {
      touches = { list: [...e.touches].map((t) => t.clientX), view: { ...view } };
    }, { passive: true });
    over.addEventListener('touchmove', (e) => {
      if (!touches) return;
      e.preventDefault();
      const now = [...e.touches].map((t) => t.clientX);
      const per = (touches.view.max - touches.view.min) / over.clientWidth;
      if (now.length >= 2 && touches.list.length >= 2) {
        const was = Math.abs(touches.list[1] - touches.list[0]) || 1;
        const is = Math.abs(now[1] - now[0]) || 1;
        const mid = touches.view.min + ((touches.list[0] + touches.list[1]) / 2 - over.getBoundingClientRect().left) * per;
        const f = was / is;
        setView(mid - (mid - touches.view.min) * f, mid + (touches.view.max - mid) * f, false);
      } else {
        const dt = (now[0] - touches.list[0]) * per;
        setView(touches.view.min - dt, touches.view.max - dt, false);
      }
    }, { passive: false });
    over.addEventListener('touchend', () => { touches = null; fetchAll(); }, { passive: true });
    return msPerPx;
  }

  function makeChart(l) {
    const box = el('section', 'chart');
    box.dataset.list = l.list;
    const head = el('h3', null, l.list + ' (' + l.unit + ')');
    box.append(head);
    const target = el('div', 'plot');
    box.append(target);
    const readout = el('p', 'readout', 'Point at the line to read a row.');
    box.append(readout);
    const links = el('p', 'downloads');
    for (const [format, label] of [['csv', 'CSV'], ['text', 'Text']]) {
      const a = el('a', null, 'Download ' + label);
      a.href = '/download?j=' + encodeURIComponent(j) + '&session=' + encodeURIComponent(sessionId) +
        '&list=' + encodeURIComponent(l.list) + '&format=' + format;
      links.append(a, ' ');
    }
    box.append(links);
    chartsBox.append(box);
    const c = { list: l.list, readout: readout, unit: l.unit, limits: { low: l.low, high: l.high } };
    let pan = null;
    const opts = {
      width: Math.max(280, chartsBox.clientWidth - 8),
      height: 240,
      ms: 1,
      legend: { show: false },
      scales: { x: { time: true } },
      axes: [{}, { label: l.unit }],
      series: [
        {},
        { label: l.list, stroke: '#0b5cad', width: 2, points: { show: false } },
        { label: 'lowest', stroke: 'rgba(0,0,0,0)', points: { show: false } },
        { label: 'highest', stroke: 'rgba(0,0,0,0)', points: { show: false } },
        { label: 'low limit', stroke: '#c0201a', dash: [8, 5], width: 1.5, points: { show: false } },
        { label: 'high limit', stroke: '#c0201a', dash: [8, 5], width: 1.5, points: { show: false } },
      ],
      bands: [{ series: [3, 2], fill: 'rgba(11,92,173,0.22)' }],
      cursor: {
        drag: { x: true, y: false, setScale: false },
        bind: {
          // Shift+drag picks a range; a plain drag moves along the time.
          mousedown: (u, targ, handler) => (e) => {
            if (e.shiftKey) return handler(e);
            pan = { x: e.clientX, view: { ...view } };
            const move = (m) => {
              const dt = (m.clientX - pan.x) * (pan.view.max - pan.view.min) / u.over.clientWidth;
              setView(pan.view.min - dt, pan.view.max - dt, false);
            };
            const up = () => { document.removeEventListener('mousemove', move); document.removeEventListener('mouseup', up); pan = null; fetchAll(); };
            document.addEventListener('mousemove', move);
            document.addEventListener('mouseup', up);
            return null;
          },
        },
      },
      hooks: {
        setSelect: [(u) => {
          if (u.select.width > 3) {
            const min = u.posToVal(u.select.left, 'x');
            const max = u.posToVal(u.select.left + u.select.width, 'x');
            setView(min, max, true);
          }
          u.setSelect({ left: 0, width: 0, top: 0, height: 0 }, false);
        }],
        setCursor: [(u) => hover(c, u)],
      },
    };
    c.plot = new uPlot(opts, [[], [], [], [], [], []], target);
    interactions(c);
    charts.push(c);
  }

  function fill() {
    document.getElementById('meter').textContent = (meter.port || 'meter') + ' · session ' + meter.session;
    const started = meter.started.replace('T', ' ').slice(0, 19);
    document.getElementById('about').textContent = meter.program + ', started ' + started +
      (meter.ended ? ', ended ' + meter.ended.replace('T', ' ').slice(0, 19) : '') + ' · ' + meter.file;
    const pick = document.getElementById('session');
    for (const s of meter.sessions) {
      const o = el('option', null, s.session + ' · ' + s.port + ' · ' + s.started.replace('T', ' ').slice(0, 16) + ' · ' + s.rows + ' rows');
      o.value = String(s.session);
      if (String(s.session) === String(meter.session)) o.selected = true;
      pick.append(o);
    }
    pick.addEventListener('change', () => {
      location.href = '/meter?j=' + encodeURIComponent(j) + '&session=' + encodeURIComponent(pick.value);
    });
    document.getElementById('alarmsLink').href = '/alarms?j=' + encodeURIComponent(j);
    for (const l of meter.lists) if (l.unit && l.rows > 0) makeChart(l);
    if (!charts.length) chartsBox.append(el('p', 'note', 'No readings in this session.'));
    document.querySelectorAll('[data-range]').forEach((b) => b.addEventListener('click', () => setRange(b.dataset.range)));
    const shift = (f) => { const d = (view.max - view.min) * f; setView(view.min + d, view.max + d, true); };
    const zoom = (f) => { const mid = (view.min + view.max) / 2; setView(mid - (mid - view.min) * f, mid + (view.max - mid) * f, true); };
    document.getElementById('earlier').addEventListener('click', () => shift(-0.5));
    document.getElementById('later').addEventListener('click', () => shift(0.5));
    document.getElementById('zoomIn').addEventListener('click', () => zoom(0.5));
    document.getElementById('zoomOut').addEventListener('click', () => zoom(2));
    window.addEventListener('resize', () => {
      for (const c of charts) c.plot.setSize({ width: Math.max(280, chartsBox.clientWidth - 8), height: 240 });
      fetchAll();
    });
    setRange(String(24 * HOUR));
  }

  let lastSeen = null;
  let liveTimer = null;
  function onSite(site) {
    header(site);
    const journal = site.journals.find((x) => x.id === j);
    const m = journal && (journal.meters || []).find((x) => String(x.session) === String(sessionId));
    if (!m) return;
    meter.running = m.running;
    const newest = Math.max(0, ...(m.params || []).map((p) => p.at_ms));
    if (newest === lastSeen) return;
    lastSeen = newest;
    if (!following || liveTimer) return;
    liveTimer = setTimeout(() => {
      liveTimer = null;
      const span = view.max - view.min;
      setView(sessionEnd() - span, sessionEnd(), true);
    }, 500);
  }

  if (!j || !sessionId) {
    chartsBox.append(el('p', 'problem', 'Open a meter from the site page.'));
    return;
  }
  api('/api/meter?j=' + encodeURIComponent(j) + '&session=' + encodeURIComponent(sessionId)).then((data) => {
    meter = data;
    fill();
    api('/api/site').then(header).catch(() => {});
    live(onSite);
  }).catch((e) => chartsBox.append(el('p', 'problem', e.message)));
})();
