// The page as a student uses it: opened from disk in headless Chromium and driven through its
// own controls, against keyexchange-cli, the Wycheproof vectors and a brute-force point count.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const root = fileURLToPath(new URL('../..', import.meta.url));
const pagePath = process.env.KX_PAGE ?? join(root, 'build/web/web/keyexchange.html');
const cliPath = process.env.KX_CLI ?? join(root, 'build/default/cli/keyexchange-cli');
const cli = (...args) => execFileSync(cliPath, args, { encoding: 'utf8' });

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

// A fresh page; it must never raise a browser dialog nor an uncaught error.
async function openPage(t, width = 1024) {
  const page = await browser.newPage();
  const trouble = [];
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

// A command as a student gives it: the window's button, or the menu and then its item.
async function choose(page, name) {
  const button = page.locator(`#window [data-command="${name}"]`);
  if (await button.count()) return button.click();
  const item = page.locator(`#menus [data-command="${name}"]`);
  const menu = page.locator('details.menu', { has: page.locator(`[data-command="${name}"]`) });
  if (await menu.count()) await menu.locator('summary').click();
  return item.click();
}

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

test('from the keyboard, the test values and a typed a give keyexchange-cli\'s Pa and steps',
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
    const trace = cli('trace', '--test-values', a);
    const fields = await Promise.all(['q', 'A', 'B', 'Px', 'Py', 'a'].map((id) => text(page, id)));
    assert.equal(trace.split('\n')[0], 'q = %s, A = %s, B = %s, P = (%s, %s), a = %s'
      .replace(/%s/g, () => fields.shift()));
    assert.ok(trace.endsWith(`Pa = a·P = ${await shown(page, 'Pa')}\n`));

    await page.locator('#steps summary').click();
    const steps = page.locator('[data-product="Pa"]');
    const [download] = await Promise.all([page.waitForEvent('download'),
      steps.getByRole('link', { name: 'Hent trinene som CSV' }).click()]);
    const csv = readFileSync(await download.path(), 'utf8');
    assert.equal(csv, cli('trace', '--test-values', a, '--csv'));
    assert.equal(await steps.locator('tbody tr').count(), csv.split('\n').length - 2);
    assert.equal(await page.locator('[data-product="Pab"] tr:last-child td:nth-child(7)')
      .textContent(), await shown(page, 'Pab'));
    assert.match(await page.locator('#plot-reason').textContent(), /under 2\^10/);
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
});

// Wycheproof's first vector of each curve: its private key times its public point has the
// shared secret as x. Prints the time of an update; the figure is reported, not asserted.
for (const curve of ['secp256r1', 'secp521r1']) {
  test(`${curve} in the page: Pa is right, fits on a phone, and the update is timed`, async (t) => {
    const page = await openPage(t, 360);
    const [q, A, B] = readFileSync(join(root, 'tests/data/curves.txt'), 'utf8').split('\n')
      .find((line) => line.startsWith(`${curve} `)).split(' ').slice(1);
    const vectors = JSON.parse(readFileSync(
      join(root, `tests/data/wycheproof/ecdh_${curve}_ecpoint_test.json`), 'utf8'));
    const vector = vectors.testGroups[0].tests[0];
    const half = (vector.public.length - 2) / 2;
    await fill(page, { q, A, B, Px: vector.public.slice(2, 2 + half),
      Py: vector.public.slice(2 + half), a: vector.private });
    const times = await page.evaluate(() => {
      const update = document.querySelector('#menus [data-command="updatePaPab"]');
      return Array.from({ length: 5 }, () => {
        const start = performance.now();
        update.click();
        return performance.now() - start;
      });
    });
    assert.equal((await shown(page, 'Pa')).slice(1).split(',')[0],
      vector.shared.toUpperCase().replace(/^0+/, ''));
    assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 360);
    for (const id of ['Px', 'Py', 'Pa']) {
      const box = await page.locator(`#${id}`).evaluate((field) =>
        [field.scrollWidth - field.clientWidth, field.scrollHeight - field.clientHeight]);
      assert.deepEqual(box, [0, 0], id);
    }
    times.sort((l, r) => l - r);
    console.log(`update on ${curve} in Chromium: median ${times[2].toFixed(1)} ms of 5 ` +
      `(${times.map((time) => time.toFixed(1)).join(', ')})`);
  });
}
