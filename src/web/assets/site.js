// The site page: one tile per meter with its latest readings, their age, alarms and link state.
'use strict';

(() => {
  const { el, api, ageText, header, live } = pexumo;
  const tiles = document.getElementById('tiles');
  let site = null;
  let skewMs = 0; // the server's clock minus this one

  function linkState(meter, newest) {
    if (!meter.running) return ['stopped', meter.program === 'pexumo-logger' ? 'logger stopped' : 'stopped'];
    const step = meter.step_ms || 10000;
    if (newest === null || Date.now() + skewMs - newest > 3 * step) return ['waiting', 'waiting for the meter'];
    return ['connected', 'connected'];
  }

  function tile(journal, meter) {
    const section = el('section', 'tile');
    const head = el('header');
    head.append(el('h2', null, meter.port || 'meter'));
    const params = meter.params || [];
    const newest = params.length ? Math.max(...params.map((p) => p.at_ms)) : null;
    const [state, stateText] = linkState(meter, newest);
    head.append(el('span', 'link ' + state, stateText));
    section.append(head);
    section.append(el('p', 'about', meter.program + ' · session ' + meter.session));
    const table = el('table', 'params');
    const step = meter.step_ms || 10000;
    for (const p of params) {
      const tr = el('tr');
      tr.dataset.list = p.list;
      const age = Date.now() + skewMs - p.at_ms;
      if (age > 3 * step) tr.className = 'stale';
      tr.append(el('th', null, p.list));
      tr.append(el('td', 'value', p.value + ' ' + p.unit));
      tr.append(el('td', 'temp', p.temp ? p.temp + ' ' + p.temp_unit : ''));
      tr.append(el('td', 'time', p.time));
      const ageCell = el('td', 'age', ageText(age));
      ageCell.dataset.at = p.at_ms;
      tr.append(ageCell);
      table.append(tr);
    }
    if (!params.length) section.append(el('p', 'note', 'No readings yet.'));
    else section.append(table);
    if (meter.alarms && meter.alarms.length) {
      section.classList.add('alarm');
      const ul = el('ul', 'alarms');
      for (const a of meter.alarms) ul.append(el('li', null, a.text));
      section.append(ul);
    }
    if (meter.error) section.append(el('p', 'problem', meter.error));
    section.append(el('p', 'file', journal.file));
    const nav = el('nav');
    const charts = el('a', null, 'Charts');
    charts.href = '/meter?j=' + encodeURIComponent(journal.id) + '&session=' + meter.session;
    const alarms = el('a', null, 'Alarms');
    alarms.href = '/alarms?j=' + encodeURIComponent(journal.id);
    nav.append(charts, ' ', alarms);
    section.append(nav);
    return section;
  }

  function render() {
    if (!site) return;
    header(site);
    const parts = [];
    for (const journal of site.journals) {
      if (journal.error) {
        const section = el('section', 'tile unreadable');
        section.append(el('h2', null, 'Journal not shown'));
        section.append(el('p', 'problem', journal.error));
        section.append(el('p', 'file', journal.file));
        parts.push(section);
        continue;
      }
      for (const meter of journal.meters) parts.push(tile(journal, meter));
      if (!journal.meters.length) {
        const section = el('section', 'tile');
        section.append(el('h2', null, 'No runs yet'));
        section.append(el('p', 'file', journal.file));
        parts.push(section);
      }
    }
    if (!parts.length) parts.push(el('p', 'note', 'No journals to show.'));
    tiles.replaceChildren(...parts);
  }

  function show(data) {
    const login = site ? site.login : data.login;
    site = data;
    if (site.login === undefined) site.login = login;
    render();
  }

  api('/api/site').then((data) => {
    skewMs = data.now_ms - Date.now();
    show(data);
    live(show);
  }).catch((e) => { tiles.replaceChildren(el('p', 'problem', e.message)); });
  // The ages and the stale marks follow the clock between changes.
  setInterval(render, 1000);
})();
