// The login page: says why the last try failed.
'use strict';

(() => {
  const q = new URLSearchParams(location.search);
  const message = document.getElementById('message');
  if (q.has('locked')) {
    const seconds = parseInt(q.get('locked'), 10) || 60;
    message.textContent = 'Too many wrong passwords: try again in ' + seconds + ' s.';
    message.hidden = false;
  } else if (q.has('busy')) {
    message.textContent = 'Passwords from this address are still being checked: try again in a moment.';
    message.hidden = false;
  } else if (q.has('wrong')) {
    message.textContent = 'Wrong password.';
    message.hidden = false;
  }
})();
