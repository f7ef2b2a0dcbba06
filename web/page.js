// The page's shell: draws the window from the program's description, sends each command with the
// fields' texts to the program and shows what comes back, and draws the steps and the curve.
const program = await createKeyExchange();
const session = new program.Session();
const layout = program.windowDescription();
const $ = (id) => document.getElementById(id);
const svgNs = 'http://www.w3.org/2000/svg';

function el(tag, attributes = {}, ...children) {
  const node = tag.startsWith('svg:')
    ? document.createElementNS(svgNs, tag.slice(4))
    : document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  node.append(...children);
  return node;
}

// The menus mark a mnemonic with "&"; a page leaves the keys to the browser.
const plain = (text) => text.replace('&', '');

function commandButton(command, text, attributes = {}) {
  const button = el('button', { type: 'button', 'data-command': command, ...attributes }, text);
  button.addEventListener('click', () => perform('run', command));
  return button;
}

function drawWindow() {
  document.title = layout.title;
  $('title').textContent = layout.title;
  const rows = new Map();
  let label = null;
  for (const control of layout.controls) {
    if (!rows.has(control.row)) rows.set(control.row, el('div', { class: 'row' }));
    const row = rows.get(control.row);
    if (control.kind === 'label') {
      label = el('label', {}, control.text);
      continue;
    }
    let node;
    if (control.kind === 'button') {
      node = commandButton(control.command, control.text);
    } else if (control.kind === 'edit') {
      node = el('textarea', { id: control.field, rows: 1, spellcheck: 'false',
        autocomplete: 'off', autocapitalize: 'off' }, control.text);
    } else {
      node = el('output', { id: control.field }, control.text);
    }
    if (label && control.field) {
      label.htmlFor = control.field;
      // "P =" and "," say little read aloud without the field's own name.
      if (!label.textContent.startsWith(control.field)) {
        label.append(el('span', { class: 'hidden' }, ` ${control.field}`));
      }
      row.append(el('div', { class: `pair ${control.kind}` }, label, node));
    } else {
      row.append(...(label ? [label] : []), node);
    }
    label = null;
  }
  $('window').append(...rows.values());
}

// A file command splits at the file's bytes. To open, the page asks for a file only once the
// fields that the update after the open reads pass, and hands over the picked bytes, or that the
// student cancelled where the browser tells. To save, it offers the bytes the program composes
// under the name the student set.
function openItem(item) {
  const input = el('input', { type: 'file', class: 'hidden', 'data-command': item.command });
  // The menu closes once the chooser has answered, so that the input is still shown when the
  // browser opens its chooser.
  input.addEventListener('click', (event) => {
    if (perform('beginOpen', item.command).pick) return;
    event.preventDefault();
    closeMenus();
  });
  input.addEventListener('change', async () => {
    const [file] = input.files;
    input.value = '';
    closeMenus();
    $('window').setAttribute('aria-busy', 'true');
    const picked = { name: file.name };
    try {
      picked.bytes = new Uint8Array(await file.slice(0, layout.fileLimit + 1).arrayBuffer());
    } catch {
      // Without bytes the program says that the file could not be read.
    }
    $('window').removeAttribute('aria-busy');
    perform('finishOpen', item.command, picked);
  });
  input.addEventListener('cancel', () => {
    closeMenus();
    perform('finishOpen', item.command, null);
  });
  return el('label', { class: 'item' }, plain(item.text), input);
}

const offered = new Map();  // the last download of each save, by command
function saveItem(item) {
  const name = el('input', { value: item.file.name, spellcheck: 'false', autocomplete: 'off' });
  const button = el('button', { type: 'button', 'data-command': item.command }, plain(item.text));
  button.addEventListener('click', () => {
    const { bytes } = perform('save', item.command);
    if (!bytes) return;
    // As a save dialog does: an empty name is the offered one, a name without an extension
    // gets the file kind's.
    const typed = name.value.trim() || item.file.name;
    URL.revokeObjectURL(offered.get(item.command));
    offered.set(item.command, URL.createObjectURL(new Blob([bytes])));
    el('a', { href: offered.get(item.command),
      download: /\.[^.]*$/.test(typed) ? typed : `${typed}.${item.file.extension}` }).click();
  });
  name.addEventListener('keydown', (event) => {
    if (event.key === 'Enter') button.click();
  });
  return el('div', { class: 'item save' }, button, el('label', {}, 'Filnavn ', name));
}

function drawMenus() {
  for (const menu of layout.menus) {
    if (!menu.items.length) {
      $('menus').append(commandButton(menu.command, plain(menu.text)));
      continue;
    }
    const items = menu.items.map((item) => {
      if (item.file) return item.file.opens ? openItem(item) : saveItem(item);
      return commandButton(item.command, plain(item.text), { class: 'item' });
    });
    $('menus').append(el('details', { class: 'menu' }, el('summary', {}, plain(menu.text)),
      el('div', { class: 'items' }, ...items)));
  }
}

function drawAbout() {
  const about = $('about');
  $('about-caption').textContent = layout.about.caption;
  about.querySelector('legend').textContent = layout.about.heading;
  about.querySelector('fieldset').append(
    ...layout.about.texts.map((text) => el('p', {}, text.replaceAll('\r', '\n'))));
  about.querySelector('button').textContent = layout.about.ok;
}

let messageCount = 0;
function showMessage(message) {
  const id = `message-${++messageCount}`;
  const ok = el('button', { type: 'button' }, layout.about.ok);
  const box = el('div', { role: 'alertdialog', class: message.warning ? 'message warning' : 'message',
    'aria-labelledby': `${id}-caption`, 'aria-describedby': `${id}-text` },
  el('h2', { id: `${id}-caption` }, message.caption), el('p', { id: `${id}-text` }, message.text), ok);
  const before = document.activeElement;
  ok.addEventListener('click', () => {
    box.remove();
    before?.focus();
  });
  $('messages').append(box);
  ok.focus();
}

// Where the style sheet cannot size a field to its text, the field grows here, so that every
// digit stays in view.
function fit(field) {
  if (CSS.supports('field-sizing', 'content')) return;
  field.style.height = 'auto';
  field.style.height = `${field.scrollHeight + field.offsetHeight - field.clientHeight}px`;
}

// Runs a command of the session with the fields as typed and shows what it left.
function perform(method, command, ...more) {
  const typed = {};
  for (const field of $('window').querySelectorAll('textarea')) typed[field.id] = field.value;
  const outcome = session[method](command, typed, ...more);
  for (const [name, text] of Object.entries(outcome.fields)) $(name).value = text;
  $('window').querySelectorAll('textarea').forEach(fit);
  showSteps();
  outcome.messages.forEach(showMessage);
  if (outcome.about) $('about').showModal();
  return outcome;
}

// The two products whose steps the panel shows, each in a table of its own.
function drawTraces() {
  for (const [product, title] of [['Pa', 'Pa = a·P'], ['Pab', 'Pab = a·Pb']]) {
    $('product').append(el('option', { value: product }, title));
    $('steps').append(el('section', { 'data-product': product, 'aria-labelledby': `trace-${product}` },
      el('h3', { id: `trace-${product}` }, title), el('p', { class: 'note' }),
      el('a', { class: 'csv', download: `trin-${product}.csv`, href: '#' }, 'Hent trinene som CSV'),
      el('div', { class: 'scroll' }, el('table'))));
  }
}

let trace = null;
let where = new Map();  // the drawn points by their text
let top = 0;  // the plot's highest y: y grows upward on the page

function place(node, point) {
  node.setAttribute('cx', point.x);
  node.setAttribute('cy', top - point.y);
  return node;
}

function fillTrace(section, steps) {
  const table = section.querySelector('table');
  table.replaceChildren(el('thead', {}, el('tr', {}, ...trace.headings.map((h) => el('th', {}, h)))),
    el('tbody', {}, ...steps.rows.map((row) => el('tr', {}, ...row.map((cell) => el('td', {}, cell))))));
  section.querySelector('.note').textContent = steps.failure ||
    (steps.rows.length ? '' : 'Ingen trin: a er 0.');
  const link = section.querySelector('.csv');
  URL.revokeObjectURL(link.href);
  link.href = URL.createObjectURL(new Blob([steps.csv], { type: 'text/csv;charset=utf-8' }));
}

function drawPlot(plot) {
  $('plot-reason').textContent = plot.reason ?? '';
  $('plot-area').hidden = Boolean(plot.reason);
  where = new Map();
  if (plot.reason) return;
  const svg = $('plot');
  top = plot.q - 1;
  svg.setAttribute('viewBox', `-1 -1 ${plot.q + 1} ${plot.q + 1}`);
  const dots = plot.points.map((point) => {
    where.set(point.text, point);
    return place(el('svg:circle', { class: 'dot' }, el('svg:title', {}, point.text)), point);
  });
  const legend = [];
  const marks = ['P', 'Pb', 'Pa', 'Pab'].flatMap((name, index) => {
    const point = where.get(plot.marks[name]);
    legend.push(el('li', { class: `mark-${name}` },
      `${name} = ${plot.marks[name]}${point ? '' : ' (ikke i tegningen)'}`));
    if (!point) return [];
    const angle = (index * Math.PI) / 2 + Math.PI / 4;
    return [el('svg:g', { class: `mark mark-${name}`, 'data-mark': name },
      place(el('svg:circle', { class: 'ring' }), point),
      el('svg:text', { x: point.x, y: top - point.y, 'data-dx': Math.cos(angle),
        'data-dy': -Math.sin(angle) }, name))];
  });
  svg.replaceChildren(...dots, ...marks, el('svg:circle', { id: 'at-result', class: 'ring' }),
    el('svg:circle', { id: 'at-R', class: 'ring' }));
  $('legend').replaceChildren(...legend);
  sizePlot();
}

// Dots and labels keep a readable size on the screen whatever q and the plot's width.
function sizePlot() {
  const svg = $('plot');
  const box = svg.viewBox.baseVal;
  if (!box || !svg.clientWidth) return;
  const pixel = box.width / svg.clientWidth;
  const dot = Math.max(1.6 * pixel, Math.min(0.4, 6 * pixel));
  for (const node of svg.querySelectorAll('.dot')) node.setAttribute('r', dot);
  for (const node of svg.querySelectorAll('.ring')) node.setAttribute('r', dot + 4 * pixel);
  for (const node of svg.querySelectorAll('text')) {
    const gap = dot + 8 * pixel;
    node.setAttribute('dx', node.dataset.dx * gap);
    node.setAttribute('dy', node.dataset.dy * gap);
    node.setAttribute('font-size', 14 * pixel);
  }
  svg.style.setProperty('--stroke', `${2 * pixel}px`);
}
new ResizeObserver(sizePlot).observe($('plot'));

function showStep() {
  const steps = trace[$('product').value];
  const index = Math.min(Number($('step').value), Math.max(0, steps.rows.length - 1));
  $('step').max = Math.max(0, steps.rows.length - 1);
  const row = steps.rows[index];
  for (const [id, column] of [['at-result', 6], ['at-R', 7]]) {
    const point = row && where.get(row[column]);
    const ring = $(id);
    if (!ring) continue;
    ring.toggleAttribute('hidden', !point);
    if (point) place(ring, point);
  }
  $('step-text').value = row ? trace.headings.map((h, i) => `${h}: ${row[i]}`).join(', ') : '';
  for (const tr of document.querySelectorAll('tr.current')) tr.classList.remove('current');
  const section = document.querySelector(`[data-product="${$('product').value}"]`);
  section.querySelectorAll('tbody tr')[index]?.classList.add('current');
}

function showSteps() {
  if (!$('steps').open) return;
  trace = session.trace();
  for (const section of document.querySelectorAll('[data-product]')) {
    fillTrace(section, trace[section.dataset.product]);
  }
  drawPlot(session.plot());
  showStep();
}

drawWindow();
drawMenus();
drawAbout();
drawTraces();
function closeMenus(except = null) {
  for (const menu of document.querySelectorAll('details.menu')) {
    if (!menu.contains(except)) menu.open = false;
  }
}
// A menu closes once its command ran or when the student clicks elsewhere.
document.addEventListener('click', (event) => {
  closeMenus(event.target.closest('button[data-command]') ? null : event.target);
});
// Escape closes an open menu and leaves the focus on its title.
$('menus').addEventListener('keydown', (event) => {
  const menu = event.target.closest('details[open]');
  if (event.key !== 'Escape' || !menu) return;
  menu.open = false;
  menu.querySelector('summary').focus();
});
// A field holds one line: Enter adds nothing to it.
$('window').addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && event.target.matches('textarea')) event.preventDefault();
});
$('window').addEventListener('input', (event) => fit(event.target));
$('steps').addEventListener('toggle', showSteps);
$('product').addEventListener('change', showStep);
$('step').addEventListener('input', showStep);
