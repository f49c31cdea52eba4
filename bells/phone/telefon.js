'use strict';
// The phone page: looks at /durum once a second; after a PIN offers what the role may do.
(function () {
  const $ = (id) => document.getElementById(id);
  let token = '';
  let permits = [];
  let silenced = false;

  function show(text, error) {
    const box = $('mesaj');
    box.textContent = text;
    box.classList.toggle('hata', !!error);
    box.hidden = !text;
  }

  function twoDigits(n) { return (n < 10 ? '0' : '') + n; }
  function countdown(seconds) {
    const h = Math.floor(seconds / 3600);
    const m = Math.floor((seconds % 3600) / 60);
    const s = seconds % 60;
    return (h > 0 ? h + ':' + twoDigits(m) : m) + ':' + twoDigits(s);
  }

  function fillList(list, rows, line) {
    list.replaceChildren();
    for (const row of rows) {
      const li = document.createElement('li');
      line(li, row);
      list.appendChild(li);
    }
    if (rows.length === 0) {
      const li = document.createElement('li');
      li.textContent = 'Yok.';
      list.appendChild(li);
    }
  }

  function cell(li, cls, text) {
    const span = document.createElement('span');
    if (cls) span.className = cls;
    span.textContent = text;
    li.appendChild(span);
  }

  function fillSelect(select, rows, value, text) {
    const keep = select.value;
    const wanted = rows.map((r) => String(value(r))).join('\n');
    if (select.dataset.rows === wanted) return;
    select.dataset.rows = wanted;
    select.replaceChildren();
    for (const row of rows) {
      const o = document.createElement('option');
      o.value = String(value(row));
      o.textContent = text(row);
      select.appendChild(o);
    }
    if (keep) select.value = keep;
  }

  function session(s) {
    token = s ? s.anahtar : '';
    permits = s ? s.izinler : [];
    $('girisKart').hidden = !!s;
    $('islemKart').hidden = !s;
    if (!s) return;
    $('rol').textContent = 'İşlemler (' + s.rol + ')';
    $('durdur').hidden = !permits.includes('durdur');
    $('zilKutu').hidden = !permits.includes('zil');
    $('anonsKutu').hidden = !permits.includes('anons');
    $('sessizKutu').hidden = !permits.includes('sessiz');
    $('alarmKutu').hidden = !permits.includes('alarm');
  }

  function draw(d) {
    $('saat').textContent = d.saat;
    $('tarih').textContent = d.tarih;
    $('gun').textContent = d.gun || '';
    $('gun').hidden = !d.gun;
    if (d.sonraki) {
      $('sonraki').textContent = d.sonraki.saat + ' ' + d.sonraki.ad;
      $('geriSayim').textContent = countdown(d.sonraki.kalan);
    } else {
      $('sonraki').textContent = d.sonrakiSatir;
      $('geriSayim').textContent = '';
    }
    fillList($('program'), d.program, (li, r) => {
      if (r.gecti) li.className = 'gecti';
      cell(li, 's', r.saat);
      cell(li, '', r.ad);
      if (r.sessiz) cell(li, 'not', r.sessiz);
    });
    fillList($('kayit'), d.kayit, (li, r) => {
      cell(li, 's', r.saat);
      cell(li, '', r.ad + ' — ' + r.sonuc);
    });
    fillList($('islemler'), d.islemler, (li, r) => cell(li, '', r));
    fillSelect($('zilSes'), d.sesler, (r) => r.muzik, (r) => r.ad);
    fillSelect($('anonsSec'), d.anonslar, (r) => r.id, (r) => r.ad);
    $('anonsYap').disabled = d.anonslar.length === 0;
    $('anonsYok').hidden = d.anonslar.length > 0;
    $('alarmVar').textContent = d.alarm ? 'Alarm çalıyor: ' + d.alarm : '';
    $('alarmVar').hidden = !d.alarm;
    $('alarmDurdur').hidden = !d.alarm;
    silenced = d.sessizBugun;
    $('sessiz').textContent = silenced ? 'Bugün ziller yeniden çalsın' : 'Bugün zil çalmasın';
    if (!d.oturum && token) show('Oturumun süresi doldu; PIN ile yeniden giriş yapın.', true);
    session(d.oturum || null);
  }

  async function look() {
    try {
      const r = await fetch('/durum', { cache: 'no-store' });
      if (r.ok) draw(await r.json());
    } catch (e) {
      show('Zil bilgisayarına ulaşılamıyor.', true);
    }
  }

  async function post(path, body) {
    try {
      const r = await fetch(path, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', 'X-Zil-Anahtar': token },
        body: JSON.stringify(body),
      });
      const answer = await r.json().catch(() => ({}));
      if (!r.ok) {
        show(answer.hata || 'İstek yapılamadı.', true);
        return null;
      }
      if (answer.mesaj) show(answer.mesaj, false);
      return answer;
    } catch (e) {
      show('Zil bilgisayarına ulaşılamıyor.', true);
      return null;
    }
  }

  function command(body) {
    post('/islem', body).then(look);
  }

  $('girisForm').addEventListener('submit', async (e) => {
    e.preventDefault();
    const pin = $('pin').value.trim();
    if (!/^[0-9]{4,8}$/.test(pin)) {
      show("PIN 4 ile 8 arasında rakamdan oluşur.", true);
      return;
    }
    const answer = await post('/giris', { pin: pin });
    $('pin').value = '';
    if (answer) {
      session(answer);
      show('Giriş yapıldı: ' + answer.rol, false);
    }
  });
  $('durdur').addEventListener('click', () => command({ islem: 'durdur' }));
  $('zilCal').addEventListener('click', () => {
    const seconds = Number($('zilSure').value);
    if (!Number.isInteger(seconds) || seconds < 1 || seconds > 600) {
      show('Süre 1 ile 600 saniye arasında olmalı.', true);
      return;
    }
    command({ islem: 'zil', muzik: $('zilSes').value, sure: seconds });
  });
  $('anonsYap').addEventListener('click', () =>
    command({ islem: 'anons', id: Number($('anonsSec').value) }));
  $('sessiz').addEventListener('click', () => {
    if (!silenced && !window.confirm('Bugün kalan ziller çalmayacak. Emin misiniz?')) return;
    command({ islem: 'sessiz', acik: !silenced });
  });
  ['Yangın', 'Deprem', 'Tahliye'].forEach((name, kind) => {
    $('alarm' + kind).addEventListener('click', () => {
      if (!window.confirm(name + ' alarmı çalınsın mı? Durdurulana kadar çalar.')) return;
      command({ islem: 'alarm', tur: kind });
    });
  });
  $('alarmDurdur').addEventListener('click', () => command({ islem: 'alarmDurdur' }));
  $('cikis').addEventListener('click', async () => {
    await post('/cikis', {});
    session(null);
    look();
  });

  look();
  setInterval(look, 1000);
})();
