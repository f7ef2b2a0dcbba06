// The page as a student uses it: opened from disk in headless Chromium and driven through its
// own controls, downloads and file inputs, against keyexchange-cli, the Wycheproof vectors and a
// brute-force point count. With KX_SCREENS set to a folder, the pictures of the page go there.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const root = fileURLToPath(new URL('../..', import.meta.url));
const pagePath = process.env.KX_PAGE ?? join(root, 'build/web/web/keyexchange.html');
const cliPath = process.env.KX_CLI ?? join(root, 'build/default/cli/keyexchange-cli');
const cli = (...args) => execFileSync(cliPath, args, { encoding: 'utf8', stdio: 'pipe' });
// What keyexchange-cli says when it refuses: its message without its name.
function refusal(...args) {
  const run = spawnSync(cliPath, args, { encoding: 'utf8' });
  assert.notEqual(run.status, 0);
  return run.stderr.replace(/^keyexchange-cli: /, '').trimEnd();
}

let profile;
let browser;
before(async () => {
  profile = mkdtempSync(join(tmpdir(), 'kx-chromium-'));
  browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    acceptDownloads: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});
after(async () => {
  await browser?.close();
  rmSync(profile, { recursive: true, force: true });
});

// A fresh page; it must never raise a browser dialog nor an uncaught error. Unless told not to,
// the test answers its file choosers, which headless Chromium otherwise cancels at once.
async function openPage(t, width = 1024, answerChoosers = true) {
  const page = await browser.newPage();
  const trouble = [];
  page.offers = [];  // the downloads and file choosers the page opened, in order
  page.on('download', (download) => page.offers.push(download.suggestedFilename()));
  if (answerChoosers) page.on('filechooser', () => page.offers.push('chooser'));
  page.on('dialog', (dialog) => trouble.push(`browser dialog: ${dialog.message()}`));
  page.on('pageerror', (error) => trouble.push(`page error: ${error.message}`));
  t.after(async () => {
    await page.close();
    assert.deepEqual(trouble, []);
  });
  await page.setViewportSize({ width, height: 800 });
  await page.goto(pathToFileURL(pagePath).href);
  await page.locator('#q').waitFor();
  return page;
}

// Opens the menu that holds the command, unless it is open or the window has the command.
async function reach(page, name) {
  const menu = page.locator('details.menu', { has: page.locator(`[data-command="${name}"]`) });
  if (await menu.count() && !await menu.evaluate((details) => details.open)) {
    await menu.locator('summary').click();
  }
}

// A command as a student gives it: the window's button, or the menu and then its item.
async function choose(page, name) {
  await page.bringToFront();  // a tab in the background hardly draws
  const button = page.locator(`#window [data-command="${name}"]`);
  if (await button.count()) return button.click();
  await reach(page, name);
  const item = page.locator(`[data-command="${name}"]`);
  const label = page.locator('#menus label', { has: item });  // a file input's
  return (await label.count() ? label : page.locator('#menus').locator(item)).click();
}

// A save under the name typed beside it: the downloaded bytes, kept in the folder.
async function save(page, name, folder, file) {
  await page.bringToFront();
  await reach(page, name);
  await page.locator('.save', { has: page.locator(`[data-command="${name}"]`) }).locator('input')
    .fill(file);
  const [download] = await Promise.all([page.waitForEvent('download'), choose(page, name)]);
  assert.equal(download.suggestedFilename(), file);
  await download.saveAs(join(folder, file));
  return readFileSync(join(folder, file));
}

// An open, the file picked in the browser's chooser; returns once the page has read it.
async function open(page, name, path) {
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), choose(page, name)]);
  await chooser.setFiles(path);
  await page.locator('#window:not([aria-busy])').waitFor();
}

const snap = (page, name) => process.env.KX_SCREENS &&
  page.screenshot({ path: join(process.env.KX_SCREENS, `web2-${name}.png`), fullPage: true });

async function fill(page, fields) {
  for (const [id, text] of Object.entries(fields)) await page.fill(`#${id}`, text);
}

const text = (page, id) => page.locator(`#${id}`).inputValue();
const shown = (page, id) => page.locator(`#${id}`).textContent();

// The x and y of point text "(X, Y)".
function coordinates(point) {
  const [, x, y] = point.match(/^\(([0-9A-F]+), ([0-9A-F]+)\)$/);
  return [parseInt(x, 16), parseInt(y, 16)];
}

test('the window has the desktop window\'s labels, fields, commands and messages', async (t) => {
  const page = await openPage(t);
  assert.equal(await page.getAttribute('html', 'lang'), 'da');
  const labels = { q: 'q =', A: 'A =', B: 'B =', Px: 'P =', Py: ',', a: 'a =', Pa: 'Pa =',
    Pb: 'Pb =', Pab: 'Pab =' };
  for (const [id, label] of Object.entries(labels)) {
    assert.equal(await page.locator(`#${id}`).evaluate((field) => field.labels[0].firstChild.data),
      label);
  }
  assert.deepEqual(await page.locator('#window button, #menus > button, #menus summary')
    .allTextContents(), ['Filer', 'Værktøjer', 'Om', 'Brug test-værdier', 'Generér a']);
  const commands = await page.locator('[data-command]').evaluateAll(
    (controls) => controls.map((control) => control.dataset.command));
  assert.deepEqual([...new Set(commands)].sort(), ['about', 'clearAll', 'generateSecret',
    'openPublicData', 'openSecretKey', 'savePublicData', 'saveSecretKey', 'saveSharedKey',
    'updatePaPab', 'useTestValues']);
  assert.deepEqual(await page.locator('#menus input:not([type])').evaluateAll(
    (inputs) => inputs.map((input) => input.value)),
  ['offentlig.public', 'hemmelig.secret', 'faelles.comkey']);
  await choose(page, 'about');
  const about = page.getByRole('dialog', { name: 'Om...' });
  assert.match(await about.textContent(), /Om Diffie-Hellman nøgleudveksling.*foregår i HEX/s);
  await about.getByRole('button', { name: 'OK' }).click();

  await choose(page, 'useTestValues');
  await fill(page, { Py: '10695272ae2cd7', a: '5' });
  await choose(page, 'updatePaPab');
  const message = page.getByRole('alertdialog', { name: 'Fejl!' });
  assert.equal(await message.getByText('Det indtastede punkt findes ikke på kurven').count(), 1);
  assert.equal(await text(page, 'Py'), '10695272AE2CD7');
  assert.match(await shown(page, 'Pa'), /^\([0-9A-F]+, [0-9A-F]+\)$/);
  await page.keyboard.press('Enter');  // its OK button has the focus
  assert.equal(await message.count(), 0);
});

test('from the keyboard, the test values and a typed a give keyexchange-cli\'s Pa',
  async (t) => {
    const page = await openPage(t);
    const focused = () => page.evaluate(() => document.activeElement.dataset.command
      ?? document.activeElement.id);
    async function tabTo(target) {
      for (let presses = 0; presses < 12 && await focused() !== target; ++presses) {
        await page.keyboard.press('Tab');
      }
      assert.equal(await focused(), target);
    }
    const a = '1f2e3d4c5b6a798897';  // above q: a is never reduced
    await tabTo('useTestValues');
    await page.keyboard.press('Enter');
    await tabTo('a');
    await page.keyboard.type(a);
    await page.keyboard.press('Enter');  // a field holds one line
    await page.locator('#menus summary', { hasText: 'Værktøjer' }).focus();
    await page.keyboard.press('Enter');
    await tabTo('updatePaPab');
    await page.keyboard.press('Enter');
    assert.ok(cli('trace', '--test-values', a).endsWith(`Pa = a·P = ${await shown(page, 'Pa')}\n`));
  });

test('the plot draws every point of a small curve and marks P, Pa and the steps', async (t) => {
  const page = await openPage(t, 360);
  const [q, A, B] = [0x17, 1, 1];
  await fill(page, { q: '17', A: '1', B: '1', Px: '3', Py: 'a', a: 'd' });
  await choose(page, 'updatePaPab');
  await page.locator('#steps summary').click();
  await page.locator('[data-mark="Pa"]').waitFor();  // the panel fills as it opens
  let count = 0;
  for (let x = 0; x < q; ++x) {
    for (let y = 0; y < q; ++y) count += (y * y - x * x * x - A * x - B) % q === 0 ? 1 : 0;
  }
  assert.equal(await page.locator('#plot .dot').count(), count);
  const at = (ring) => Promise.all(['cx', 'cy'].map((name) => ring.getAttribute(name).then(Number)));
  const drawn = ([x, y]) => [x, q - 1 - y];
  for (const mark of ['P', 'Pa']) {
    const ring = page.locator(`[data-mark="${mark}"] circle`);
    assert.ok(await ring.isVisible(), mark);
    const point = mark === 'P' ? `(${await text(page, 'Px')}, ${await text(page, 'Py')})`
      : await shown(page, 'Pa');
    assert.deepEqual(await at(ring), drawn(coordinates(point)), mark);
  }
  // Step by step from the keyboard: the last step's result is Pa; each step's R is its row's.
  await page.locator('#step').focus();
  for (const key of ['End', 'Home', 'ArrowRight']) {
    await page.keyboard.press(key);
    const row = page.locator('[data-product="Pa"] tr.current td');
    assert.deepEqual(await at(page.locator('#at-R')), drawn(coordinates(await row.nth(7).textContent())));
    assert.deepEqual(await at(page.locator('#at-result')),
      drawn(coordinates(await row.nth(6).textContent())));
  }
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 360);
  await snap(page, 'plot-360');
});

// A bad typed character stops each command that reads its field, and a damaged or oversized file
// is refused, with the message keyexchange-cli gives for the same input: nothing changes, nothing
// is downloaded and no file is asked for. An open cancelled in the browser updates, as after a
// cancelled dialog.
test('bad input gets the program\'s message and changes nothing', async (t) => {
  const folder = mkdtempSync(join(tmpdir(), 'kx-bad-'));
  t.after(() => rmSync(folder, { recursive: true, force: true }));
  const page = await openPage(t, 360);
  const fields = () => page.locator('#window').evaluate((window) =>
    [...window.querySelectorAll('textarea, output')].map((field) => field.value));
  // One message, the given one or one that starts with it and a sentence more, and no change.
  async function refused(what, act, message) {
    const before = await fields();
    await act();
    const box = page.getByRole('alertdialog');
    const said = await box.locator('p').textContent();
    assert.ok(said === message || said.startsWith(`${message}.\n`), `${what}: ${said}`);
    await box.getByRole('button').click();
    assert.deepEqual(await fields(), before, what);
  }
  await fill(page, { a: '5' });
  await choose(page, 'useTestValues');
  await save(page, 'savePublicData', folder, 'egen.public');
  await open(page, 'openPublicData', join(folder, 'egen.public'));
  await fill(page, { a: '12G4' });
  for (const command of ['updatePaPab', 'generateSecret', 'useTestValues', 'savePublicData',
    'saveSecretKey', 'saveSharedKey', 'openPublicData']) {
    await refused(command, () => choose(page, command), refusal('trace', '--test-values', '12G4'));
  }
  await fill(page, { a: '5' });
  // keyexchange-cli names the file by its path; the window says "kan ikke bruges" of one too
  // large to read.
  const own = join(folder, 'egen.public');
  for (const [name, command, bytes, ...args] of [
    ['skadet æø.public', 'openPublicData', String(readFileSync(own)).slice(0, 30), 'check'],
    ['skadet.secret', 'openSecretKey', '1F2E\x01', 'shared', own],
    ['stor.public', 'openPublicData', '0'.repeat((16 << 20) + 1), 'check']]) {
    const path = join(folder, name);
    writeFileSync(path, bytes);
    const said = refusal(args[0], path, ...args.slice(1)).replace(`${path}: `, '');
    await refused(name, () => open(page, command, path), `Filen "${name}" ${
      name === 'stor.public' ? said.replace(/^.*?: /, 'kan ikke bruges: ') : said}`);
  }
  assert.deepEqual(page.offers, ['egen.public', 'chooser', 'chooser', 'chooser', 'chooser']);

  const cancelled = await openPage(t, 1024, false);
  await fill(cancelled, { q: '0x 17' });
  await choose(cancelled, 'openPublicData');
  await cancelled.waitForFunction(() => document.getElementById('q').value === '17');
});

// Anna on a phone and Bo at a desk exchange public data through downloads and file inputs and
// save the same shared key, which keyexchange-cli computes from their files alike. On a standard
// curve P is the public point of Wycheproof's first vector and Anna's a its private key, so her Pa
// has its shared secret as x. Prints the time of an update (Pa and Pab); the figure is reported,
// not asserted.
for (const curve of ['test values', 'secp256r1', 'secp521r1']) {
  test(`two students exchange keys on the ${curve} through files`, async (t) => {
    const folder = mkdtempSync(join(tmpdir(), 'kx-exchange-'));
    t.after(() => rmSync(folder, { recursive: true, force: true }));
    const file = (name) => join(folder, name);
    const anna = await openPage(t, 360);
    const bo = await openPage(t);
    let vector;
    if (curve === 'test values') {
      for (const page of [anna, bo]) await choose(page, 'useTestValues');
    } else {
      const [q, A, B] = readFileSync(join(root, 'tests/data/curves.txt'), 'utf8').split('\n')
        .find((line) => line.startsWith(`${curve} `)).split(' ').slice(1);
      vector = JSON.parse(readFileSync(
        join(root, `tests/data/wycheproof/ecdh_${curve}_ecpoint_test.json`), 'utf8')).testGroups[0]
        .tests[0];
      const half = (vector.public.length - 2) / 2;
      for (const page of [anna, bo]) {
        await fill(page, { q, A, B, Px: vector.public.slice(2, 2 + half),
          Py: vector.public.slice(2 + half) });
      }
    }
    for (const page of [anna, bo]) await choose(page, 'generateSecret');
    if (vector) await fill(anna, { a: vector.private });
    const [q, a, b] = await Promise.all([text(anna, 'q'), text(anna, 'a'), text(bo, 'a')]);
    assert.ok(a !== b && BigInt(`0x${b}`) < BigInt(`0x${q}`));
    for (const [page, name] of [[anna, 'anna'], [bo, 'bo']]) {
      assert.equal(String(await save(page, 'saveSecretKey', folder, `${name}.secret`)),
        await text(page, 'a'));
      const publicData = String(await save(page, 'savePublicData', folder, `${name}.public`));
      const fields = await Promise.all(['q', 'A', 'B', 'Px', 'Py'].map((id) => text(page, id)));
      assert.equal(publicData, `${fields.join('*')}*${await shown(page, 'Pa')}\0`);
    }
    if (vector) assert.equal((await shown(anna, 'Pa')).split(',')[0], `(${BigInt(`0x${vector.shared}`)
      .toString(16).toUpperCase()}`);
    await open(anna, 'openPublicData', file('bo.public'));
    await open(bo, 'openPublicData', file('anna.public'));
    assert.equal(await shown(anna, 'Pb'), await shown(bo, 'Pa'));
    await reach(anna, 'saveSharedKey');
    await snap(anna, `exchange-360-${curve.replace(' ', '-')}`);
    await snap(bo, `exchange-desktop-${curve.replace(' ', '-')}`);
    const key = await save(anna, 'saveSharedKey', folder, 'anna.comkey');
    assert.deepEqual(await save(bo, 'saveSharedKey', folder, 'bo.comkey'), key);
    assert.notEqual(String(key), '(uendelig)');
    assert.equal(String(key), await shown(anna, 'Pab'));
    for (const [secret, other, mine] of [['anna', 'bo', 'anna'], ['bo', 'anna', 'bo']]) {
      assert.equal(cli('shared', file(`${secret}.secret`), file(`${other}.public`), '--expect',
        file(`${mine}.comkey`)), String(key));
    }

    // The steps are keyexchange-cli's; a*Pb is a*P on Anna's curve with her Pa as P.
    await bo.locator('#steps summary').click();
    const annasPa = (await shown(bo, 'Pb')).slice(1, -1).split(', ');
    writeFileSync(file('Pb.public'), `${[...String(readFileSync(file('anna.public')))
      .split('*').slice(0, 3), ...annasPa].join('*')}*(uendelig)\0`);
    for (const [product, publicData] of [['Pa', 'bo.public'], ['Pab', 'Pb.public']]) {
      const steps = bo.locator(`[data-product="${product}"]`);
      const [csv] = await Promise.all([bo.waitForEvent('download'),
        steps.getByRole('link', { name: 'Hent trinene som CSV' }).click()]);
      assert.equal(readFileSync(await csv.path(), 'utf8'),
        cli('trace', file('bo.secret'), file(publicData), '--csv'));
      assert.equal(await steps.locator('tr:last-child td:nth-child(7)').textContent(),
        await shown(bo, product));
    }
    if (!vector) assert.match(await bo.locator('#plot-reason').textContent(), /under 2\^10/);
    if (!vector) return snap(bo, 'trace');
    await anna.bringToFront();
    const times = await anna.evaluate(() => {
      const update = document.querySelector('#menus [data-command="updatePaPab"]');
      return Array.from({ length: 15 }, () => {
        const start = performance.now();
        update.click();
        return performance.now() - start;
      }).sort((l, r) => l - r);
    });
    console.log(`update on ${curve} in Chromium (Pa and Pab): median ${times[7].toFixed(1)} ms ` +
      `of 15, fastest ${times[0].toFixed(1)} ms`);
  });
}
