// The alarms page: every rise and clear of the journals, newest first, by meter and parameter.
'use strict';

(() => {
  const { el, api, header, live, param } = pexumo;
  const body = document.getElementById('events');
  const journalPick = document.getElementById('journal');
  const parameterPick = document.getElementById('parameter');
  const none = document.getElementById('none');
  let files = new Map();

  function fillJournals(site) {
    header(site);
    const chosen = journalPick.value || param('j') || '';
    const options = [el('option', null, 'All')];
    options[0].value = '';
    files = new Map();
    for (const journal of site.journals) {
      files.set(journal.id, journal.file);
      const ports = (journal.meters || []).map((m) => m.port).join(', ');
      const o = el('option', null, journal.file + (ports ? ' (' + ports + ')' : ''));
      o.value = journal.id;
      options.push(o);
    }
    journalPick.replaceChildren(...options);
    journalPick.value = chosen;
  }

  async function load() {
    const q = new URLSearchParams();
    if (journalPick.value) q.set('j', journalPick.value);
    if (parameterPick.value) q.set('parameter', parameterPick.value);
    const history = '/alarms' + (q.toString() ? '?' + q : '');
    if (location.pathname + location.search !== history) window.history.replaceState(null, '', history);
    try {
      const reply = await api('/api/alarms?' + q);
      const rows = reply.events.map((e) => {
        const tr = el('tr', 'event ' + e.event.replace(' ', '-'));
        tr.append(el('td', 'time', e.local));
        tr.append(el('td', null, e.port + ' · session ' + e.session));
        tr.append(el('td', null, e.event));
        tr.append(el('td', 'text', e.text));
        tr.append(el('td', 'result', e.result));
        return tr;
      });
      body.replaceChildren(...rows);
      none.hidden = rows.length > 0;
    } catch (e) {
      body.replaceChildren();
      none.textContent = e.message;
      none.hidden = false;
    }
  }

  parameterPick.value = param('parameter') || '';
  journalPick.addEventListener('change', load);
  parameterPick.addEventListener('change', load);
  let timer = null;
  api('/api/site').then((site) => {
    fillJournals(site);
    load();
    live((s) => {
      fillJournals(s);
      if (!timer) timer = setTimeout(() => { timer = null; load(); }, 1000);
    });
  }).catch((e) => { none.textContent = e.message; none.hidden = false; });
})();
