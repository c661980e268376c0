// Drives the built page in headless Chromium and Firefox ESR the way a
// person does: files go in through the real file input or a drop on the drop
// zone, and the expanded images are saved by clicking the links that the
// page offers and read back from the download folder. axe-core audits the
// page in light and dark mode.
//   node page_test.mjs build-web/nesexpand.html
// With SCREENSHOT=FILE.png (and SCREENSHOT_DARK=FILE.png) it also saves the
// page in Chromium after an expansion and an error, SCREENSHOT_WIDTH pixels
// wide (800 unless set).
import assert from 'node:assert/strict';
import {randomBytes} from 'node:crypto';
import {mkdir, mkdtemp, readdir, readFile, rm, stat, writeFile} from 'node:fs/promises';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {setTimeout as sleep} from 'node:timers/promises';
import {pathToFileURL} from 'node:url';

import puppeteer from 'puppeteer-core';

const pageFile = path.resolve(process.argv[2] ?? 'build-web/nesexpand.html');
const pageUrl = pathToFileURL(pageFile).href;
const axeSource = await readFile(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

const SOURCE_SIZE = 24592;
const EXPANDED_SIZE = 40976;
const TOO_SHORT = 'Source file is too short.';
const CANNOT_OPEN = 'Unable to open source file.';
const CANNOT_READ = 'Unable to read source file.';
const OUT_OF_MEMORY = 'Out of memory.';
// Only so that a page that hangs cannot hang the run, and one step that
// hangs says which it was; nothing is timed.
const LIMIT = {timeout: 120000};
const STEP_LIMIT_MS = 30000;
const POLL_MS = 20;

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

// The picture's banks as the CPU sees them, $8000-$BFFF then $C000-$FFFF,
// in plain addresses: a one-bank image is mirrored into the lower half.
const CPU_MAP = {
  Before: [[['kept', 0x8000, 0xAA77], ['moved', 0xAA78, 0xBFF9], ['vectors', 0xBFFA, 0xBFFF]],
           [['kept', 0xC000, 0xEA77], ['moved', 0xEA78, 0xFFF9], ['vectors', 0xFFFA, 0xFFFF]]],
  After: [[['moved', 0x8000, 0x9581], ['free', 0x9582, 0xBFFF]],
          [['kept', 0xC000, 0xEA77], ['free', 0xEA78, 0xFFF9], ['vectors', 0xFFFA, 0xFFFF]]],
};
const KIND_WORDS = {kept: 'program', moved: 'block', vectors: 'vectors', free: 'free'};
const hex = (value) => '$' + value.toString(16).toUpperCase();
const range = (first, last) => `${hex(first)}–${hex(last)}`;

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

// A reader's settings that a test can ask for: dark mode, or forced colours
// (high contrast) with a default font size of 24 px in place of 16.
const PLAIN = {};
const DARK = {dark: true};
const LOW_VISION = {forced: true, largeText: true};
const LARGE_FONT_PX = 24;

const UTF8_LOCALE = {LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8'};  // names outside ASCII need it

// Chromium takes each setting per page, through the DevTools protocol.
const chromium = {
  name: 'Chromium',
  launchOptions: () => ({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  }),
  async apply(page, settings) {
    const cdp = await page.createCDPSession();
    await cdp.send('Emulation.setEmulatedMedia', {features: [
      {name: 'prefers-color-scheme', value: settings.dark ? 'dark' : 'light'},
      {name: 'forced-colors', value: settings.forced ? 'active' : 'none'},
    ]});
    if (settings.largeText) await cdp.send('Page.setFontSizes', {fontSizes: {standard: LARGE_FONT_PX}});
  },
  sessionKey: () => 'all',
  // What the page says of a chosen file changed, or removed, since.
  afterChange: CANNOT_READ,
  afterRemoval: CANNOT_OPEN,
};

// Firefox takes them as preferences when it starts, so each set of settings
// has a browser of its own. Everything that would reach the network is off.
const firefox = {
  name: 'Firefox ESR',
  launchOptions: (settings) => ({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    extraPrefsFirefox: {
      'app.update.auto': false,
      'app.update.enabled': false,
      'app.normandy.enabled': false,
      'app.shield.optoutstudies.enabled': false,
      'browser.region.network.url': '',
      'browser.region.update.enabled': false,
      'browser.safebrowsing.provider.mozilla.updateURL': '',
      'browser.topsites.contile.enabled': false,
      'datareporting.policy.dataSubmissionEnabled': false,
      'dom.push.connection.enabled': false,
      'extensions.blocklist.enabled': false,
      'extensions.systemAddon.update.enabled': false,
      'identity.fxaccounts.enabled': false,
      'media.gmp-manager.url': '',
      'messaging-system.rsexperimentloader.enabled': false,
      'network.captive-portal-service.enabled': false,
      'network.connectivity-service.enabled': false,
      'network.dns.disablePrefetch': true,
      'network.prefetch-next': false,
      'network.trr.mode': 5,
      'toolkit.telemetry.enabled': false,
      'toolkit.telemetry.server': '',
      'toolkit.telemetry.unified': false,
      // 0 is dark, 1 light, whatever the desktop's theme.
      'layout.css.prefers-color-scheme.content-override': settings.dark ? 0 : 1,
      // 2 is "always use my colours", which is forced-colors: active.
      'browser.display.document_color_use': settings.forced ? 2 : 0,
      ...(settings.largeText ? {'font.size.variable.x-western': LARGE_FONT_PX} : {}),
    },
  }),
  apply: async () => {},
  sessionKey: (settings) => JSON.stringify(settings),
  // Firefox reads a file changed since it was chosen as it now is, and
  // fails a read of one removed since with an AbortError, not as missing.
  afterChange: null,
  afterRemoval: CANNOT_READ,
};

// A started browser, with a fresh profile and a folder for its downloads.
class Session {
  static async start(kind, settings) {
    const session = new Session();
    session.folder = await mkdtemp(path.join(tmpdir(), 'nesexpand-page-test-'));
    session.downloads = path.join(session.folder, 'downloads');
    const profile = path.join(session.folder, 'profile');
    await Promise.all([mkdir(session.downloads), mkdir(profile)]);
    session.browser = await puppeteer.launch({
      ...kind.launchOptions(settings), headless: true, userDataDir: profile,
      env: {...process.env, ...UTF8_LOCALE},
    });
    session.context = await session.browser.createBrowserContext({
      downloadBehavior: {policy: 'allow', downloadPath: session.downloads},
    });
    return session;
  }

  async close() {
    await this.browser.close();
    await rm(this.folder, {recursive: true, force: true});
  }
}

// Set in the page before its own script: records what a test checks at the
// end, and the files that the input was last given.
function watchPage() {
  window.trouble = [];
  document.addEventListener('securitypolicyviolation',
                            (event) => trouble.push(`blocked by ${event.violatedDirective}: ${event.blockedURI}`));
  // The blob URLs that the page made and has not let go.
  window.liveUrls = new Set();
  const create = URL.createObjectURL;
  const revoke = URL.revokeObjectURL;
  URL.createObjectURL = (object) => {
    const url = create.call(URL, object);
    liveUrls.add(url);
    return url;
  };
  URL.revokeObjectURL = (url) => {
    liveUrls.delete(url);
    revoke.call(URL, url);
  };
  document.addEventListener('change', (event) => { window.lastChosen = Array.from(event.target.files); },
                            {capture: true});
}

// The tests below, for one browser.
function pageTests(kind) {
  const sessions = new Map();
  let fileCount = 0;
  let files;

  before(async () => {
    files = await mkdtemp(path.join(tmpdir(), 'nesexpand-files-'));
    // Started at once, while the first tests run, as Firefox starts slowly;
    // a browser that fails to start fails the tests that use it.
    for (const settings of [PLAIN, DARK, LOW_VISION]) sessionFor(settings).catch(() => {});
  });
  after(async () => {
    for (const starting of sessions.values()) await (await starting.catch(() => null))?.close();
    await rm(files, {recursive: true, force: true});
  });

  function sessionFor(settings) {
    const key = kind.sessionKey(settings);
    if (!sessions.has(key)) sessions.set(key, Session.start(kind, settings));
    return sessions.get(key);
  }

  // Opens the page with every request, console error and uncaught error
  // recorded. `prepare` runs in the page before any of its own script.
  async function openPage({prepare, width = 800, settings = PLAIN, wait = true} = {}) {
    const session = await sessionFor(settings);
    const page = await session.context.newPage();
    page.session = session;
    await kind.apply(page, settings);
    await page.setViewport({width, height: 900});
    page.requests = [];
    page.errors = [];
    page.on('request', (request) => page.requests.push(request.url()));
    page.on('console', (message) => {
      if (message.type() === 'error') page.errors.push(`console: ${message.text()}`);
    });
    page.on('pageerror', (error) => page.errors.push(`page: ${error.message}`));
    await page.evaluateOnNewDocument(watchPage);
    if (prepare) await page.evaluateOnNewDocument(prepare);
    await page.goto(pageUrl);
    if (wait) await page.waitForFunction(() => !document.getElementById('file').disabled);
    return page;
  }

  // Nothing left the page, nothing went wrong in it, and the only blob URLs
  // alive are those of the links on show.
  async function assertQuiet(page) {
    const outside = page.requests.filter((url) => url !== pageUrl && !/^(data|blob):/.test(url));
    assert.deepEqual(outside, [], 'requests that left the page');
    const inPage = await page.evaluate(() => ({
      trouble,
      live: [...liveUrls].sort(),
      shown: [...document.querySelectorAll('a[download]')].map((a) => a.href).sort(),
    }));
    assert.deepEqual([...page.errors, ...inPage.trouble], [], 'errors in the page');
    assert.deepEqual(inPage.live, inPage.shown, 'blob URLs kept alive beside the links on show');
  }

  const statusText = (page) => page.$eval('[role="status"]', (el) => el.textContent);

  // What the status shows: each file's result, as a reader tells them apart
  // (an error has the word and its box, not only a colour), and its link.
  const readStatus = (page) => page.evaluate(() => {
    const status = document.querySelector('[role="status"]');
    const isError = (el) => {
      const style = getComputedStyle(el);
      return el.querySelector('strong')?.textContent === 'Error:' &&
             style.borderLeftStyle !== 'none' && parseFloat(style.borderLeftWidth) >= 4;
    };
    return {
      text: status.textContent,
      error: !!status.firstElementChild && isError(status.firstElementChild),
      results: [...status.querySelectorAll('li')].map((li) => {
        const a = li.querySelector('a');
        return {
          text: [...li.childNodes].filter((n) => n !== a).map((n) => n.textContent).join(''),
          error: isError(li),
          link: a && {name: a.getAttribute('download'), href: a.href, text: a.textContent},
        };
      }),
    };
  });

  // Runs `action` and waits until the status stops saying that work is under
  // way; returns what the page then shows.
  async function settle(page, action) {
    await page.evaluate(() => {
      const status = document.querySelector('[role="status"]');
      window.settled = false;
      const watch = new MutationObserver(() => {
        if (!status.textContent.endsWith('…')) {
          watch.disconnect();
          window.settled = true;
        }
      });
      watch.observe(status, {childList: true, characterData: true, subtree: true});
    });
    await action();
    await page.waitForFunction(() => window.settled, {polling: POLL_MS, timeout: STEP_LIMIT_MS}).catch(async () => {
      assert.fail(`the page still says "${await statusText(page)}"`);
    });
    return readStatus(page);
  }

  async function writeSource(name, bytes) {
    const folder = path.join(files, String(++fileCount));  // a folder each, so any name is free
    await mkdir(folder);
    const file = path.join(folder, name);
    await writeFile(file, bytes);
    return file;
  }

  async function choosePaths(page, paths) {
    const input = await page.$('input[type="file"]');
    return settle(page, () => input.uploadFile(...paths));
  }

  // Chooses the files [{name, bytes}] at once through the input.
  async function chooseFiles(page, sources) {
    const paths = [];
    for (const {name, bytes} of sources) paths.push(await writeSource(name, bytes));
    return {...await choosePaths(page, paths), paths};
  }
  const chooseFile = (page, name, bytes) => chooseFiles(page, [{name, bytes}]);

  // Drops the files [{name, bytes}] at once on the drop zone, or the files
  // last given to the input when `sources` is null.
  async function dropFiles(page, sources) {
    let taken;
    const shown = await settle(page, async () => {
      const encoded = sources?.map(({name, bytes}) => [name, Buffer.from(bytes).toString('base64')]);
      taken = await page.evaluate((encoded) => {
        const transfer = new DataTransfer();
        const files = encoded ? encoded.map(([name, base64]) =>
          new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name)) : window.lastChosen;
        for (const file of files) transfer.items.add(file);
        const zone = document.getElementById('drop');
        const event = (type) => new DragEvent(type, {dataTransfer: transfer, bubbles: true, cancelable: true});
        zone.dispatchEvent(event('dragover'));
        return !zone.dispatchEvent(event('drop'));  // cancelled: the page took the files
      }, encoded);
    });
    assert.ok(taken, 'the drop was left to the browser');
    return shown;
  }
  const dropFile = (page, name, bytes) => dropFiles(page, [{name, bytes}]);

  // Saves the image of the result's link as a person does, by clicking it,
  // and reads the file that the browser wrote into its download folder.
  async function download(page, index) {
    const links = await page.$$('[role="status"] a[download]');
    const name = await links[index].evaluate((a) => a.getAttribute('download'));
    const file = path.join(page.session.downloads, name);
    await links[index].click();
    // Done once the file is there in full and no partial file is left beside it.
    for (const deadline = Date.now() + STEP_LIMIT_MS; ;) {
      const size = await stat(file).then((s) => s.size, () => -1);
      const saved = await readdir(page.session.downloads);
      if (size === EXPANDED_SIZE && !saved.some((f) => /\.(crdownload|part)$/.test(f))) break;
      if (Date.now() > deadline) assert.fail(`${name} was not saved; the download folder holds ${JSON.stringify(saved)}`);
      await sleep(POLL_MS);
    }
    const bytes = new Uint8Array(await readFile(file));
    await rm(file);  // so that the next download of this name is not renamed
    return bytes;
  }

  function assertExpanded(result, source, output) {
    assert.deepEqual(result, {
      text: `${source} is expanded: ${output}, 40,976 bytes.`, error: false,
      link: {name: output, href: result.link?.href, text: `Save ${output}`},
    });
    assert.match(result.link.href, /^blob:/);
  }
  function assertError(result, source, message) {
    assert.deepEqual(result, {text: `Error: ${source}: ${message}`, error: true, link: null});
  }

  describe('expanding', LIMIT, () => {
    let page;
    before(async () => { page = await openPage(); });
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
        assert.equal(shown.results.length, 1);
        assertExpanded(shown.results[0], name, name.replace(/\.nes$/, '_expanded.nes'));
        assertSameBytes(await download(page, 0), expectedImage(src.subarray(0, SOURCE_SIZE)));
      }
      await assertQuiet(page);
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
        assertExpanded(shown.results[0], source, output);
      }
      await assertQuiet(page);
    });

    test('several files at once each get their own result and link, in order', async () => {
      const first = randomImage(SOURCE_SIZE, 1);
      const second = randomImage(SOURCE_SIZE + 7, 1);
      const sources = [{name: 'first.nes', bytes: first}, {name: 'short.nes', bytes: first.subarray(0, 100)},
                       {name: 'second.nes', bytes: second}];
      for (const how of [chooseFiles, dropFiles]) {
        const shown = await how(page, sources);
        assert.equal(shown.results.length, 3, JSON.stringify(shown.results));
        assertExpanded(shown.results[0], 'first.nes', 'first_expanded.nes');
        assertError(shown.results[1], 'short.nes', TOO_SHORT);
        assertExpanded(shown.results[2], 'second.nes', 'second_expanded.nes');
        assertSameBytes(await download(page, 0), expectedImage(first));
        assertSameBytes(await download(page, 1), expectedImage(second.subarray(0, SOURCE_SIZE)));
        await assertQuiet(page);
      }
    });

    test('an error names its file and is marked as one; each new choice replaces the last results', async () => {
      const good = randomImage(SOURCE_SIZE, 1);
      let shown = await chooseFile(page, 'good.nes', good);
      assertExpanded(shown.results[0], 'good.nes', 'good_expanded.nes');

      shown = await chooseFile(page, 'short.nes', randomImage(SOURCE_SIZE - 1, 1));
      assert.equal(shown.results.length, 1);
      assertError(shown.results[0], 'short.nes', TOO_SHORT);
      await assertQuiet(page);  // the good image's URL is let go, not only hidden

      shown = await dropFile(page, 'empty.nes', new Uint8Array(0));
      assertError(shown.results[0], 'empty.nes', TOO_SHORT);

      shown = await chooseFile(page, 'again.nes', good);
      assertExpanded(shown.results[0], 'again.nes', 'again_expanded.nes');
      assertSameBytes(await download(page, 0), expectedImage(good));

      shown = await dropFile(page, 'short-drop.nes', good.subarray(0, 100));
      assertError(shown.results[0], 'short-drop.nes', TOO_SHORT);
      await assertQuiet(page);
    });

    test('the same file chosen again is expanded again, once mended', async () => {
      const image = randomImage(SOURCE_SIZE, 1);
      let shown = await chooseFile(page, 'mended.nes', image.subarray(0, SOURCE_SIZE - 1));
      assertError(shown.results[0], 'mended.nes', TOO_SHORT);
      await writeFile(shown.paths[0], image);
      shown = await choosePaths(page, shown.paths);
      assertExpanded(shown.results[0], 'mended.nes', 'mended_expanded.nes');
      assertSameBytes(await download(page, 0), expectedImage(image));
      await assertQuiet(page);
    });

    test('a chosen file that changed or is gone by the time it is read gets the command line\'s message', async () => {
      const changed = randomImage(SOURCE_SIZE + 1, 1);
      const cases = [
        {change: (file) => writeFile(file, changed), message: kind.afterChange},
        {change: (file) => rm(file), message: kind.afterRemoval},
      ];
      for (const {change, message} of cases) {
        const shown = await chooseFile(page, 'chosen.nes', randomImage(SOURCE_SIZE, 1));
        assertExpanded(shown.results[0], 'chosen.nes', 'chosen_expanded.nes');
        await change(shown.paths[0]);
        const again = await dropFiles(page, null);  // the very file that was chosen, read anew
        if (message) {
          assertError(again.results[0], 'chosen.nes', message);
        } else {
          assertExpanded(again.results[0], 'chosen.nes', 'chosen_expanded.nes');
          assertSameBytes(await download(page, 0), expectedImage(changed.subarray(0, SOURCE_SIZE)));
        }
      }
      await assertQuiet(page);
    });

    test('a name too long for the page\'s memory gets the out-of-memory message, and the next file works', async () => {
      // The page has 1 MiB of memory: room for a name of 500,000 bytes but
      // not for the output name too, and no room for 2,000,000 bytes at all.
      const image = randomImage(SOURCE_SIZE, 1);
      for (const length of [500000, 2000000]) {
        const name = 'x'.repeat(length) + '.nes';
        const shown = await dropFile(page, name, image);
        assertError(shown.results[0], name, OUT_OF_MEMORY);
      }
      const shown = await chooseFile(page, 'after.nes', image);
      assertExpanded(shown.results[0], 'after.nes', 'after_expanded.nes');
      assertSameBytes(await download(page, 0), expectedImage(image));
      await assertQuiet(page);
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
  });

  describe('what the page explains', LIMIT, () => {
    test('is there before WebAssembly starts, or without it, in the layout\'s own numbers', async () => {
      const page = await openPage({prepare: () => { delete globalThis.WebAssembly; }, wait: false});
      const text = await page.$eval('main', (el) => el.innerText);
      for (const fact of ['24,592 bytes', '40,976 bytes', '16,384 bytes of free space', 'now say $8000',
                          '$9582–$BFFF, 10,878 bytes', '$EA78–$FFF9, 5,506 bytes', '$8000–$9581, 5,506 bytes',
                          '$C000–$EA77, 10,872 bytes', '$FFFA–$FFFF, 6 bytes']) {
        assert.ok(text.includes(fact), `the page does not say "${fact}"`);
      }
      await page.close();
    });

    test('the picture is the CPU\'s view to scale, the one bank mirrored before, with a table that says the same', async () => {
      const page = await openPage({wait: false});
      const shown = await page.evaluate(() => {
        const map = document.querySelector('.map');
        const table = document.querySelector('figure table');
        const tableStyle = getComputedStyle(table);
        return {
          hidden: map.getAttribute('aria-hidden'),
          banks: [...map.querySelectorAll('.bank')].map((bank) => ({
            border: getComputedStyle(bank).borderTopStyle,
            width: bank.clientWidth,
            parts: [...bank.children].map((part) => ({
              kind: part.className, range: part.dataset.range, width: part.getBoundingClientRect().width,
            })),
          })),
          table: {
            read: table.closest('[aria-hidden="true"]') === null && tableStyle.display !== 'none' &&
                  tableStyle.visibility !== 'hidden',
            head: [...table.querySelectorAll('thead th')].map((th) => th.textContent.trim()),
            rows: [...table.querySelectorAll('tbody tr')].map((tr) =>
              [...tr.cells].map((cell) => cell.textContent.replace(/\s+/g, ' ').trim())),
          },
        };
      });
      assert.equal(shown.hidden, 'true', 'the picture is read aloud as well as its table');
      assert.ok(shown.table.read, 'the table is hidden from screen readers');
      assert.deepEqual(shown.table.head, ['When', '$8000–$BFFF', '$C000–$FFFF']);
      const banks = [...CPU_MAP.Before, ...CPU_MAP.After];
      assert.equal(shown.banks.length, banks.length);
      for (const [i, parts] of banks.entries()) {
        const bank = shown.banks[i];
        assert.deepEqual(bank.parts.map(({kind, range}) => ({kind, range})),
                         parts.map(([kind, first, last]) => ({kind, range: range(first, last)})), `bank ${i}`);
        for (const [j, [, first, last]] of parts.entries()) {
          const want = bank.width * (last - first + 1) / 0x4000;
          // The 6 bytes of vectors are drawn a few pixels wide all the same.
          assert.ok(Math.abs(bank.parts[j].width - want) <= 4, `bank ${i}, part ${j}: ${bank.parts[j].width} px, not ${want}`);
        }
      }
      // The mirror is told by its dashed border, not by colour.
      assert.deepEqual(shown.banks.map((bank) => bank.border), ['dashed', 'solid', 'solid', 'solid']);
      for (const [row, [when, halves]] of Object.entries(CPU_MAP).entries()) {
        const cells = shown.table.rows[row];
        assert.equal(cells[0], when);
        for (const [half, parts] of halves.entries()) {
          for (const [kind, first, last] of parts) {
            const says = `${KIND_WORDS[kind]} ${range(first, last)}`;
            assert.ok(cells[half + 1].includes(says), `${when}: "${cells[half + 1]}" lacks "${says}"`);
          }
        }
      }
      assert.match(shown.table.rows[0][1], /mirrored/);
      await page.close();
    });

    test('nothing moves while the page starts', async () => {
      for (const width of [800, 320]) {
        // WebAssembly waits until the test lets it go.
        const page = await openPage({width, wait: false, prepare: () => {
          const instantiate = WebAssembly.instantiate;
          const gate = new Promise((resolve) => { window.startWebAssembly = resolve; });
          WebAssembly.instantiate = (...args) => gate.then(() => instantiate.apply(WebAssembly, args));
        }});
        const layout = () => page.evaluate(() => [...document.body.querySelectorAll('*')]
          .filter((el) => !el.closest('[role="status"] > *'))
          .map((el) => { const r = el.getBoundingClientRect(); return `${el.tagName} ${r.x},${r.y} ${r.width}x${r.height}`; }));
        const starting = await layout();
        assert.match(await statusText(page), /…$/);
        await page.evaluate(() => window.startWebAssembly());
        await page.waitForFunction(() => !document.getElementById('file').disabled);
        assert.deepEqual(await layout(), starting, `at ${width} px`);
        await page.close();
      }
    });
  });

  describe('keyboard and small screens', LIMIT, () => {
    test('the input and then the link are reached with Tab, and named', async () => {
      const page = await openPage();
      const focused = () => page.evaluate(() => {
        const el = document.activeElement;
        return {tag: el.tagName, label: el.labels?.[0]?.textContent ?? el.textContent};
      });
      await page.keyboard.press('Tab');
      assert.deepEqual(await focused(), {tag: 'INPUT', label: 'Choose iNES images'});
      await chooseFile(page, 'keys.nes', randomImage(SOURCE_SIZE, 1));
      await page.keyboard.press('Tab');
      assert.deepEqual(await focused(), {tag: 'A', label: 'Save keys_expanded.nes'});
      await assertQuiet(page);
      await page.close();
    });

    test('nothing runs off a 320 px screen, even with a long name', async () => {
      const page = await openPage({width: 320});
      await chooseFile(page, 'a-rather-long-file-name-for-a-narrow-phone-screen.nes', randomImage(SOURCE_SIZE, 1));
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - innerWidth);
      assert.ok(overflow <= 0, `${overflow} px too wide`);
      await assertQuiet(page);
      await page.close();
    });
  });

  describe('starting', LIMIT, () => {
    // Opens the page and waits for the start to end, one way or another.
    async function openStarted(prepare) {
      const page = await openPage({prepare, wait: false});
      await page.waitForFunction(() => !document.querySelector('[role="status"]').textContent.endsWith('…'));
      return page;
    }

    test('is quick and quiet', async (t) => {
      const page = await openPage();
      const ms = await page.evaluate(() => Math.round(performance.now()));
      t.diagnostic(`${kind.name}: ready ${ms} ms after the page was asked for`);
      await assertQuiet(page);
      await page.close();
    });

    test('a browser without WebAssembly is told so, and nothing can be chosen', async () => {
      const page = await openStarted(() => { delete globalThis.WebAssembly; });
      const shown = await readStatus(page);
      assert.match(shown.text, /^Error: .*cannot run WebAssembly/);
      assert.ok(shown.error, 'not marked as an error');
      assert.equal(await page.$eval('input[type="file"]', (el) => el.disabled), true);
      await assertQuiet(page);
      await page.close();
    });

    // Each way to fail ends in the page's message, not in "Starting…".
    const failures = [
      ['WebAssembly that fails to start', /refused for the test/,
       () => { WebAssembly.instantiate = () => Promise.reject(new Error('refused for the test')); }],
      ['a module that fails as it is made', /made refused/, () => {
        Object.defineProperty(window, 'createExpander', {
          get: () => () => { throw new TypeError('made refused for the test'); },
          set: () => {},
        });
      }],
      ['a browser call that fails in the set-up after the module started', /input refused/, () => {
        // As an older browser lacks a call: here, enabling the input.
        const disabled = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'disabled');
        Object.defineProperty(HTMLInputElement.prototype, 'disabled', {
          ...disabled,
          set(value) {
            if (!value) throw new TypeError('input refused for the test');
            disabled.set.call(this, value);
          },
        });
      }],
    ];
    for (const [what, reason, prepare] of failures) {
      test(`${what} is reported on the page`, async () => {
        const page = await openStarted(prepare);
        const shown = await readStatus(page);
        assert.match(shown.text, /^Error: The expander could not start \(.+\), so nothing can be expanded here\.$/);
        assert.match(shown.text, reason);
        assert.ok(shown.error, 'not marked as an error');
        assert.equal(await page.$eval('input[type="file"]', (el) => el.disabled), true);
        await page.close();
      });
    }
  });

  describe('the reader\'s own settings', LIMIT, () => {
    test('the picture keeps its meaning in forced colours, by pattern and border', async () => {
      const page = await openPage({settings: LOW_VISION, wait: false});
      const looks = await page.evaluate(() => {
        const look = (el) => {
          const s = getComputedStyle(el);
          return `${s.backgroundColor} ${s.backgroundImage}`;
        };
        const kinds = ['kept', 'moved', 'free', 'vectors'];
        return {
          forced: matchMedia('(forced-colors: active)').matches,
          bars: kinds.map((kind) => look(document.querySelector(`.bank .${kind}`))),
          swatches: kinds.map((kind) => look(document.querySelector(`.swatch.${kind}`))),
        };
      });
      assert.ok(looks.forced, 'forced colours are not on');
      assert.equal(new Set(looks.bars).size, 4, `kinds look alike: ${looks.bars.join(' / ')}`);
      assert.deepEqual(looks.swatches, looks.bars, 'the legend does not match the picture');
      await page.close();
    });

    test('the reader\'s default font size sizes the text and the layout', async () => {
      const measure = async (settings) => {
        const page = await openPage({settings, width: 1600, wait: false});
        const sizes = await page.evaluate(() => ({
          fonts: [...document.querySelectorAll('*')].map((el) => parseFloat(getComputedStyle(el).fontSize)),
          widths: ['body', '.bank', '.drop'].map((s) => document.querySelector(s).getBoundingClientRect().width),
        }));
        await page.close();
        return sizes;
      };
      const plain = await measure(PLAIN);
      const large = await measure(LOW_VISION);
      const scale = LARGE_FONT_PX / 16;
      assert.equal(large.fonts[0], LARGE_FONT_PX, 'the root font size');
      for (const [i, px] of plain.fonts.entries()) {
        assert.ok(Math.abs(large.fonts[i] - px * scale) < 0.5, `element ${i}: ${large.fonts[i]} px, not ${px * scale}`);
      }
      for (const [i, px] of plain.widths.entries()) {
        assert.ok(Math.abs(large.widths[i] - px * scale) < 2, `width ${i}: ${large.widths[i]} px, not ${px * scale}`);
      }
    });

    test('dark mode is dark', async () => {
      const colours = async (settings) => {
        const page = await openPage({settings, wait: false});
        const shown = await page.evaluate(() => {
          const s = getComputedStyle(document.documentElement);
          return [s.backgroundColor, s.color];
        });
        await page.close();
        return shown.map((c) => c.match(/\d+/g).slice(0, 3).reduce((sum, v) => sum + Number(v), 0) / 3);
      };
      const [lightPaper, lightInk] = await colours(PLAIN);
      const [darkPaper, darkInk] = await colours(DARK);
      assert.ok(lightPaper > 200 && lightInk < 60, `light mode: paper ${lightPaper}, ink ${lightInk}`);
      assert.ok(darkPaper < 60 && darkInk > 200, `dark mode: paper ${darkPaper}, ink ${darkInk}`);
    });
  });

  describe('axe-core finds nothing', LIMIT, () => {
    async function audit(page, state) {
      const violations = await page.evaluate(async (source) => {
        if (!window.axe) (0, eval)(source);
        const {violations} = await axe.run(document, {resultTypes: ['violations']});
        return violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
      }, axeSource);
      assert.deepEqual(violations, [], state);
    }
    for (const [mode, settings] of [['light', PLAIN], ['dark', DARK]]) {
      test(`in ${mode} mode, before and after an expansion and after an error`, async () => {
        const page = await openPage({settings});
        await audit(page, 'ready');
        await chooseFiles(page, [{name: 'game.nes', bytes: randomImage(SOURCE_SIZE, 1)}]);
        await audit(page, 'after an expansion');
        await chooseFiles(page, [{name: 'short.nes', bytes: randomImage(100, 1)}]);
        await audit(page, 'after an error');
        await assertQuiet(page);
        await page.close();
      });
    }
  });

  if (kind === chromium) {
    for (const [variable, settings] of [['SCREENSHOT', PLAIN], ['SCREENSHOT_DARK', DARK]]) {
      if (!process.env[variable]) continue;
      test(`saves ${process.env[variable]}`, LIMIT, async () => {
        const page = await openPage({settings, width: Number(process.env.SCREENSHOT_WIDTH ?? 800)});
        await chooseFiles(page, [{name: 'game.nes', bytes: randomImage(SOURCE_SIZE, 1)},
                                 {name: 'short.nes', bytes: randomImage(100, 1)}]);
        await page.evaluate(() => new Promise(requestAnimationFrame));
        await page.screenshot({path: process.env[variable], fullPage: true});
        await page.close();
      });
    }
  }
}

describe('the page file', LIMIT, () => {
  test('fits in 64 KiB, carries its script and WebAssembly inside, and lets in nothing else', async () => {
    const {size} = await stat(pageFile);
    assert.ok(size <= 65536, `${size} bytes`);
    const html = await readFile(pageFile, 'utf8');
    assert.match(html, /data:application\/octet-stream;base64,/, 'no WebAssembly inline');
    const outside = html.match(/\s(?:src|href)=["'](?!data:)[^"']*/gi) ?? [];  // attributes only
    assert.deepEqual(outside, [], 'references to other files');
    // Fetching is allowed for the inline WebAssembly only; downloads are
    // links, which need no fetching.
    const policy = html.match(/http-equiv="Content-Security-Policy" content="([^"]*)"/)[1];
    const connect = policy.split(';').map((d) => d.trim().split(/\s+/)).find(([name]) => name === 'connect-src');
    assert.deepEqual(connect, ['connect-src', 'data:']);
  });
});

for (const kind of [chromium, firefox]) {
  describe(kind.name, () => pageTests(kind));
}
