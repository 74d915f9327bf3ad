// Shared by the pages: elements with text (never markup), the server's replies, the live stream.
'use strict';

const pexumo = (() => {
  /** An element with a class and a text; journal text only ever enters a page this way. */
  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }

  /** GET a JSON reply; a server that asks for the login sends the page there. */
  async function api(path) {
    const r = await fetch(path, { credentials: 'same-origin', cache: 'no-store' });
    if (r.status === 401) {
      location.href = '/login';
      throw new Error('log in first');
    }
    const body = await r.json();
    if (!r.ok) throw new Error(body.error || r.statusText);
    return body;
  }

  /** "12 s ago", "5 min ago", "3 h ago", "2 d ago". */
  function ageText(ms) {
    const s = Math.max(0, Math.round(ms / 1000));
    if (s < 120) return s + ' s ago';
    if (s < 7200) return Math.round(s / 60) + ' min ago';
    if (s < 172800) return Math.round(s / 3600) + ' h ago';
    return Math.round(s / 86400) + ' d ago';
  }

  /** The value of query item NAME of this page's address. */
  function param(name) {
    return new URLSearchParams(location.search).get(name);
  }

  /** Shows the title and the logout button as the site's data says. */
  function header(site) {
    const title = site.title || 'Pexumo';
    document.getElementById('title').textContent = title;
    document.title = title;
    const logout = document.getElementById('logout');
    if (logout) logout.hidden = !site.login;
  }

  /**
   * Follows the server's live stream: onSite(site) at every change. The page says when the
   * stream is lost, and it comes back by itself.
   */
  function live(onSite) {
    const lost = document.getElementById('lost');
    let source = null;
    function connect() {
      source = new EventSource('/events');
      source.addEventListener('open', () => { lost.hidden = true; });
      source.addEventListener('site', (e) => { lost.hidden = true; onSite(JSON.parse(e.data)); });
      source.addEventListener('error', () => {
        lost.hidden = false;
        // A stream the server refused stays closed: open a new one after a while.
        if (source.readyState === EventSource.CLOSED) setTimeout(connect, 2000);
      });
    }
    connect();
  }

  return { el, api, ageText, param, header, live };
})();
