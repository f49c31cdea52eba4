'use strict';
// The classroom screen: read-only, no PIN; looks at /sinif/durum once a second.
(function () {
  const $ = (id) => document.getElementById(id);
  const two = (n) => (n < 10 ? '0' : '') + n;

  function draw(d) {
    $('saat').textContent = d.saat;
    $('tarih').textContent = d.tarih;
    $('simdi').textContent = d.simdi;
    if (d.sonraki) {
      const m = Math.floor(d.sonraki.kalan / 60);
      $('kalan').textContent = d.sonraki.ad + ' — ' + m + ':' + two(d.sonraki.kalan % 60);
    } else {
      $('kalan').textContent = '';
    }
    const list = $('program');
    list.replaceChildren();
    for (const r of d.program) {
      const li = document.createElement('li');
      if (r.gecti) li.className = 'gecti';
      li.textContent = r.saat.substring(0, 5) + '  ' + r.ad;
      list.appendChild(li);
    }
  }

  async function look() {
    try {
      const r = await fetch('/sinif/durum', { cache: 'no-store' });
      if (r.ok) draw(await r.json());
      else $('simdi').textContent = 'Sınıf ekranı kapalı.';
    } catch (e) {
      $('simdi').textContent = 'Zil bilgisayarına ulaşılamıyor.';
    }
  }
  look();
  setInterval(look, 1000);
})();
