// Drives the built page in headless Chromium the way a person does: files
// go in through the real file input or a drop on the drop zone, and the
// expanded image is read back from the download link it offers.
//   node page_test.mjs build-web/nesexpand.html
// With SCREENSHOT=FILE.png it also saves the page after an expansion,
// SCREENSHOT_WIDTH pixels wide (800 unless set).
import assert from 'node:assert/strict';
import {randomBytes} from 'node:crypto';
import {mkdir, mkdtemp, readFile, rm, stat, writeFile} from 'node:fs/promises';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {pathToFileURL} from 'node:url';

import puppeteer from 'puppeteer-core';

const pageFile = path.resolve(process.argv[2] ?? 'build-web/nesexpand.html');
const pageUrl = pathToFileURL(pageFile).href;

const SOURCE_SIZE = 24592;
const TOO_SHORT = 'Source file is too short.';
const CANNOT_OPEN = 'Unable to open source file.';
const CANNOT_READ = 'Unable to read source file.';
const OUT_OF_MEMORY = 'Out of memory.';
// Only so that a page that hangs cannot hang the run; nothing is timed.
const LIMIT = {timeout: 60000};

// The expanded image as the layout describes it, in plain offsets, written
// apart from the code under test so that the two must agree.
function expectedImage(src) {
  const out = new Uint8Array(0xA010);
  out.set(src.subarray(0x0000, 0x0010), 0x0000);
  out[0x0004] = 0x02;
  out.set(src.subarray(0x2A88, 0x400A), 0x0010);  // the moved block; 0x1592-0x400F stay zero
  out.set(src.subarray(0x0010, 0x6010), 0x4010);  // old PRG-ROM as the upper bank, CHR-ROM
  out[0x472A] = 0x00;
  out[0x472E] = 0x80;
  out.fill(0x00, 0x6A88, 0x800A);  // the moved block's old place
  return out;
}

function assertSameBytes(got, want) {
  assert.equal(got.length, want.length, 'image size');
  const at = got.findIndex((byte, i) => byte !== want[i]);
  assert.equal(at, -1, `first difference at offset 0x${at.toString(16)}`);
}

// A random image whose changed bytes hold what they will not hold afterwards.
function randomImage(size, prgBanks) {
  const image = new Uint8Array(randomBytes(size));
  if (size > 0x072E) {
    image[0x0004] = prgBanks;
    image[0x072A] = 0xA5;
    image[0x072E] = 0x5A;
  }
  return image;
}

let browser;
let profile;
let files;

before(async () => {
  profile = await mkdtemp(path.join(tmpdir(), 'nesexpand-profile-'));
  files = await mkdtemp(path.join(tmpdir(), 'nesexpand-files-'));
  const args = ['--headless', '--disable-gpu', '--no-first-run', '--disable-background-networking',
                '--disable-component-update', '--disable-sync'];
  if (process.getuid?.() === 0) args.push('--no-sandbox');  // Chromium refuses root otherwise
  browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true,
                                    userDataDir: profile, args});
});

after(async () => {
  await browser?.close();
  await rm(profile, {recursive: true, force: true});
  await rm(files, {recursive: true, force: true});
});

// Opens the page with every request outside it refused and recorded, and
// every console error and uncaught error recorded. `prepare` runs in the
// page before any of its own script.
async function openPage({prepare, width = 800} = {}) {
  const page = await browser.newPage();
  await page.setViewport({width, height: 900});
  const trouble = {requests: [], errors: []};
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const url = request.url();
    if (url === pageUrl || url.startsWith('data:') || url.startsWith('blob:')) {
      request.continue();
    } else {
      trouble.requests.push(url);
      request.abort();
    }
  });
  page.on('console', (message) => {
    if (message.type() === 'error') trouble.errors.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => trouble.errors.push(`page: ${error.message}`));
  if (prepare) await page.evaluateOnNewDocument(prepare);
  await page.goto(pageUrl);
  return {page, trouble};
}

async function openReadyPage(options) {
  const opened = await openPage(options);
  await opened.page.waitForFunction(() => !document.getElementById('file').disabled);
  return opened;
}

function assertQuiet(trouble) {
  assert.deepEqual(trouble.requests, [], 'requests that left the page');
  assert.deepEqual(trouble.errors, [], 'errors in the page');
}

const statusText = (page) => page.$eval('[role="status"]', (el) => el.textContent);

// Runs `action` and waits until the status stops saying that work is under
// way; returns what the page then shows.
async function settle(page, action) {
  await page.evaluate(() => {
    const status = document.querySelector('[role="status"]');
    window.settled = new Promise((resolve) => {
      const watch = new MutationObserver(() => {
        if (!status.textContent.endsWith('…')) {
          watch.disconnect();
          resolve();
        }
      });
      watch.observe(status, {childList: true, characterData: true, subtree: true});
    });
  });
  await action();
  await page.evaluate(() => window.settled);
  return page.evaluate(() => {
    const links = [...document.querySelectorAll('a[download]')].filter((a) => !a.hidden);
    return {
      status: document.querySelector('[role="status"]').textContent,
      links: links.map((a) => ({name: a.getAttribute('download'), href: a.href})),
    };
  });
}

let fileCount = 0;
async function chooseFile(page, name, bytes) {
  const folder = path.join(files, String(++fileCount));  // a folder each, so any name is free
  await mkdir(folder);
  const file = path.join(folder, name);
  await writeFile(file, bytes);
  const input = await page.$('input[type="file"]');
  const shown = await settle(page, () => input.uploadFile(file));
  return {...shown, file};
}

async function dropFile(page, name, bytes) {
  let taken;
  const shown = await settle(page, async () => {
    taken = await page.evaluate((name, base64) => {
      const data = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
      const transfer = new DataTransfer();
      transfer.items.add(new File([data], name));
      const zone = document.getElementById('drop');
      const event = (type) => new DragEvent(type, {dataTransfer: transfer, bubbles: true, cancelable: true});
      zone.dispatchEvent(event('dragover'));
      return !zone.dispatchEvent(event('drop'));  // cancelled: the page took the file
    }, name, Buffer.from(bytes).toString('base64'));
  });
  assert.ok(taken, 'the drop was left to the browser');
  return shown;
}

async function download(page, link) {
  const base64 = await page.evaluate(async (href) => {
    const bytes = new Uint8Array(await (await fetch(href)).arrayBuffer());
    let text = '';
    for (const byte of bytes) text += String.fromCharCode(byte);
    return btoa(text);
  }, link.href);
  return new Uint8Array(Buffer.from(base64, 'base64'));
}

function assertOneLink(shown, name) {
  assert.equal(shown.links.length, 1, `links shown: ${JSON.stringify(shown.links)}`);
  assert.equal(shown.links[0].name, name);
  assert.match(shown.links[0].href, /^blob:/);
}

describe('the page file', LIMIT, () => {
  test('fits in 64 KiB and carries its script and WebAssembly inside', async () => {
    const {size} = await stat(pageFile);
    assert.ok(size <= 65536, `${size} bytes`);
    const html = await readFile(pageFile, 'utf8');
    assert.match(html, /data:application\/octet-stream;base64,/, 'no WebAssembly inline');
    const outside = html.match(/\s(?:src|href)=["'](?!data:)[^"']*/gi) ?? [];  // attributes only
    assert.deepEqual(outside, [], 'references to other files');
  });
});

describe('expanding', LIMIT, () => {
  let page;
  let trouble;
  before(async () => ({page, trouble} = await openReadyPage()));
  after(() => page.close());

  test('random images come out byte for byte as the layout says, by input and by drop', async () => {
    const cases = [
      {how: chooseFile, name: 'one.nes', src: randomImage(SOURCE_SIZE, 1)},
      {how: chooseFile, name: 'two.nes', src: randomImage(SOURCE_SIZE, 2)},  // says two banks already
      {how: dropFile, name: 'dropped.nes', src: randomImage(SOURCE_SIZE, 0xFF)},
      {how: chooseFile, name: 'long.nes', src: randomImage(30000, 1)},  // first bytes only
      {how: dropFile, name: 'long-dropped.nes', src: randomImage(2 * SOURCE_SIZE + 1, 1)},
    ];
    for (const {how, name, src} of cases) {
      const shown = await how(page, name, src);
      assertOneLink(shown, name.replace(/\.nes$/, '_expanded.nes'));
      assert.ok(shown.status.startsWith(`${name} is expanded`), shown.status);
      assertSameBytes(await download(page, shown.links[0]), expectedImage(src.subarray(0, SOURCE_SIZE)));
    }
    assertQuiet(trouble);
  });

  test('the download is named by the command line\'s rule', async () => {
    const image = randomImage(SOURCE_SIZE, 1);
    const names = [
      ['game.nes', 'game_expanded.nes'],
      ['game.NES', 'game.NES_expanded.nes'],  // only lower case is replaced
      ['rom.bin', 'rom.bin_expanded.nes'],
      ['game.nes.bak', 'game.nes.bak_expanded.nes'],
      ['.nes', '_expanded.nes'],
      ['nes', 'nes_expanded.nes'],
      ['Spiel über alles.nes', 'Spiel über alles_expanded.nes'],
      ['ゲーム.NES', 'ゲーム.NES_expanded.nes'],
      ['🎮 x.nes', '🎮 x_expanded.nes'],
    ];
    for (const [i, [source, output]] of names.entries()) {
      const shown = await (i % 2 ? dropFile : chooseFile)(page, source, image);
      assertOneLink(shown, output);
    }
    assertQuiet(trouble);
  });

  test('short and empty files get the message, and each new choice replaces the last result', async () => {
    const good = randomImage(SOURCE_SIZE, 1);
    let shown = await chooseFile(page, 'good.nes', good);
    assertOneLink(shown, 'good_expanded.nes');
    const oldHref = shown.links[0].href;

    shown = await chooseFile(page, 'short.nes', randomImage(SOURCE_SIZE - 1, 1));
    assert.deepEqual(shown, {...shown, status: TOO_SHORT, links: []});
    // The old image's URL is let go, not only hidden.
    const oldStillThere = await page.evaluate((href) => fetch(href).then(() => true, () => false), oldHref);
    assert.equal(oldStillThere, false, 'the replaced blob URL still answers');
    trouble.errors = trouble.errors.filter((error) => !error.includes(oldHref));  // that fetch's own failure

    shown = await dropFile(page, 'empty.nes', new Uint8Array(0));
    assert.deepEqual(shown, {...shown, status: TOO_SHORT, links: []});

    shown = await chooseFile(page, 'again.nes', good);
    assertOneLink(shown, 'again_expanded.nes');
    assertSameBytes(await download(page, shown.links[0]), expectedImage(good));

    shown = await dropFile(page, 'short-drop.nes', good.subarray(0, 100));
    assert.deepEqual(shown, {...shown, status: TOO_SHORT, links: []});
    assertQuiet(trouble);
  });

  test('a chosen file that changed or is gone by the time it is read gets the command line\'s message', async () => {
    const input = await page.$('input[type="file"]');
    const readAgain = () => settle(page, () => input.evaluate((el) => el.dispatchEvent(new Event('change'))));
    const cases = [
      {change: (file) => writeFile(file, randomImage(SOURCE_SIZE + 1, 1)), message: CANNOT_READ},
      {change: (file) => rm(file), message: CANNOT_OPEN},
    ];
    for (const {change, message} of cases) {
      const shown = await chooseFile(page, 'chosen.nes', randomImage(SOURCE_SIZE, 1));
      assertOneLink(shown, 'chosen_expanded.nes');
      await change(shown.file);
      const again = await readAgain();
      assert.deepEqual(again, {...again, status: message, links: []});
    }
    assertQuiet(trouble);
  });

  test('a name too long for the page\'s memory gets the out-of-memory message, and the next file works', async () => {
    // The page has 1 MiB of memory: room for a name of 500,000 bytes but
    // not for the output name too, and no room for 2,000,000 bytes at all.
    const image = randomImage(SOURCE_SIZE, 1);
    for (const length of [500000, 2000000]) {
      const shown = await dropFile(page, 'x'.repeat(length) + '.nes', image);
      assert.deepEqual(shown, {...shown, status: OUT_OF_MEMORY, links: []}, `a name of ${length} bytes`);
    }
    const shown = await chooseFile(page, 'after.nes', image);
    assertOneLink(shown, 'after_expanded.nes');
    assertSameBytes(await download(page, shown.links[0]), expectedImage(image));
    assertQuiet(trouble);
  });

  test('a file dropped beside the drop zone is neither expanded nor left to the browser to open', async () => {
    const before = await statusText(page);
    const prevented = await page.evaluate(() => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(24592)], 'beside.nes'));
      return !document.body.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
    });
    assert.ok(prevented, 'the browser would have opened the file in place of the page');
    assert.equal(await statusText(page), before);
  });

  test('the page states what is gained, in the layout\'s own numbers', async () => {
    const text = await page.$eval('main', (el) => el.innerText);
    for (const fact of ['16,384 bytes of free space', '$9582–$BFFF, 10,878 bytes', '$EA78–$FFF9, 5,506 bytes',
                        'now at $8000–$9581', '24,592 bytes', '40,976 bytes']) {
      assert.ok(text.includes(fact), `the page does not say "${fact}"`);
    }
  });
});

describe('keyboard and small screens', LIMIT, () => {
  test('the input and then the link are reached with Tab, and named', async () => {
    const {page, trouble} = await openReadyPage();
    const focused = () => page.evaluate(() => {
      const el = document.activeElement;
      return {tag: el.tagName, label: el.labels?.[0]?.textContent ?? el.textContent};
    });
    await page.keyboard.press('Tab');
    assert.deepEqual(await focused(), {tag: 'INPUT', label: 'Choose an iNES image'});
    await chooseFile(page, 'keys.nes', randomImage(SOURCE_SIZE, 1));
    await page.keyboard.press('Tab');
    assert.deepEqual(await focused(), {tag: 'A', label: 'Save keys_expanded.nes'});
    assertQuiet(trouble);
    await page.close();
  });

  test('nothing runs off a 320 px screen, even with a long name', async () => {
    const {page, trouble} = await openReadyPage({width: 320});
    await chooseFile(page, 'a-rather-long-file-name-for-a-narrow-phone-screen.nes', randomImage(SOURCE_SIZE, 1));
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - innerWidth);
    assert.ok(overflow <= 0, `${overflow} px too wide`);
    assertQuiet(trouble);
    await page.close();
  });
});

describe('without working WebAssembly', LIMIT, () => {
  test('a browser without WebAssembly is told so, and nothing can be chosen', async () => {
    const {page, trouble} = await openPage({prepare: () => { delete globalThis.WebAssembly; }});
    await page.waitForFunction(() => !document.querySelector('[role="status"]').textContent.endsWith('…'));
    assert.match(await statusText(page), /cannot run WebAssembly/);
    assert.equal(await page.$eval('input[type="file"]', (el) => el.disabled), true);
    assertQuiet(trouble);
    await page.close();
  });

  test('WebAssembly that fails to start is reported on the page', async () => {
    const {page, trouble} = await openPage({
      prepare: () => { WebAssembly.instantiate = () => Promise.reject(new Error('refused for the test')); },
    });
    await page.waitForFunction(() => !document.querySelector('[role="status"]').textContent.endsWith('…'));
    assert.match(await statusText(page), /could not start .*refused for the test/);
    assert.equal(await page.$eval('input[type="file"]', (el) => el.disabled), true);
    assertQuiet(trouble);
    await page.close();
  });
});

if (process.env.SCREENSHOT) {
  describe('screenshot', LIMIT, () => {
    test(`saves ${process.env.SCREENSHOT}`, async () => {
      const width = Number(process.env.SCREENSHOT_WIDTH ?? 800);
      const {page} = await openReadyPage({width});
      await chooseFile(page, 'game.nes', randomImage(SOURCE_SIZE, 1));
      await page.evaluate(() => new Promise(requestAnimationFrame));
      await page.screenshot({path: process.env.SCREENSHOT, fullPage: true});
      await page.close();
    });
  });
}
