// Drives the built page in headless Chromium and Firefox ESR the way a
// person does: files go in through the real file input or a drop on the drop
// zone, and the expanded images are saved by clicking the links that the
// page offers and read back from the download folder. Each state of the
// page is audited once: axe-core, requests, errors, and sideways scrolling.
//   node page_test.mjs build-web/nesexpand.html
// CHROMIUM and FIREFOX name the browsers (/usr/bin/chromium and
// /usr/bin/firefox-esr unless set). The random images come from a seed that
// the test prints; PAGE_TEST_SEED=N replays it. With SCREENSHOT=FILE.png
// (and SCREENSHOT_DARK=FILE.png) it also saves the page in Chromium after an
// expansion and an error, SCREENSHOT_WIDTH pixels wide (800 unless set).
import assert from 'node:assert/strict';
import {createHash} from 'node:crypto';
import {mkdir, mkdtemp, readdir, readFile, rm, stat, writeFile} from 'node:fs/promises';
import {createServer} from 'node:http';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {after, before, describe, test as nodeTest} from 'node:test';
import {setTimeout as sleep} from 'node:timers/promises';
import {pathToFileURL} from 'node:url';

import {HtmlValidate} from 'html-validate';
import puppeteer from 'puppeteer-core';

const pageFile = path.resolve(process.argv[2] ?? 'build-web/nesexpand.html');
const pageUrl = pathToFileURL(pageFile).href;
const axeSource = await readFile(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
const sample = new Uint8Array(await readFile(new URL('../../examples/sample.nes', import.meta.url)));

const SOURCE_SIZE = 24592;
const EXPANDED_SIZE = 40976;
const TOO_SHORT = 'Source file is too short.';
const CANNOT_OPEN = 'Unable to open source file.';
const CANNOT_READ = 'Unable to read source file.';
const OUT_OF_MEMORY = 'Out of memory.';
const SAVED_WHERE = 'The link below saves it into your browser\'s downloads folder.';
// What the page notes of a header that is not one PRG-ROM and one CHR-ROM
// bank of iNES.
const NOTE = {
  expanded: 'Its header says 2 PRG-ROM banks and 1 CHR-ROM bank: it looks expanded already. ' +
            'Expand the original one-bank image instead.',
  fourPrg: 'Its header says 4 PRG-ROM banks and 1 CHR-ROM bank, so the result will not work: ' +
           'nesexpand is only for images with one of each.',
  twoChr: 'Its header says 1 PRG-ROM bank and 2 CHR-ROM banks, so the result will not work: ' +
          'nesexpand is only for images with one of each.',
  noMark: 'Its first bytes are not the iNES mark, "NES" and 0x1A, so it is probably not an iNES image ' +
          'and the result will not work: expand an iNES image instead.',
  trainer: 'Its header says that a 512-byte trainer comes before the PRG-ROM, so the result will not work: ' +
           'nesexpand is only for images without one.',
};
const NEEDS_SCRIPT = 'This page needs JavaScript and WebAssembly.';
const NOT_STARTED = 'This browser did not start the expander: WebAssembly is turned off or blocked here.';
// Only so that a page that hangs cannot hang the run, and one step that
// hangs says which it was; nothing is timed. The limit is each test's and
// each hook's, never a group's, which a busy machine may take long over.
const LIMIT = {timeout: 120000};
const test = (name, fn) => nodeTest(name, LIMIT, fn);
const STEP_LIMIT_MS = 30000;
const POLL_MS = 20;
// A case that offers this many images or fewer has each one saved and
// compared; one of more (the names, each of the same image) is checked by
// what it shows alone.
const DOWNLOADS_CHECKED = 4;

const seed = Number(process.env.PAGE_TEST_SEED ?? Math.floor(Math.random() * 2 ** 32)) >>> 0;
const sayTheSeed = () => console.log(`# random images from seed ${seed}: PAGE_TEST_SEED=${seed} replays them`);
sayTheSeed();
after(sayTheSeed);
let state = seed || 1;
// A random image (xorshift32) whose changed bytes hold what they will not
// hold afterwards, with an iNES header that says `prg` and `chr` banks and,
// if asked, a trainer; without the mark it starts "NES" and 0x00. The
// header's other bytes stay random: the page must not look at them.
function image(size, {prg = 1, chr = 1, mark = true, trainer = false} = {}) {
  const bytes = new Uint8Array(size).map(() => {
    state ^= state << 13; state ^= state >>> 17; state ^= state << 5;
    return state;
  });
  if (size < 0x072F) return bytes;
  bytes.set([0x4E, 0x45, 0x53, mark ? 0x1A : 0x00, prg, chr, trainer ? bytes[6] | 0x04 : bytes[6] & ~0x04]);
  [bytes[0x072A], bytes[0x072E]] = [0xA5, 0x5A];
  return bytes;
}

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
function assertSameBytes(got, want, what) {
  assert.equal(got.length, want.length, `${what}: image size`);
  const at = got.findIndex((byte, i) => byte !== want[i]);
  assert.equal(at, -1, `${what}: first difference at offset 0x${at.toString(16)}`);
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
const range = (first, last) => `$${first.toString(16).toUpperCase()}–$${last.toString(16).toUpperCase()}`;

// The cases: what is chosen, how it reaches the page, and for each file
// what it must show: its download's name or its error, and the note on its
// header if it must have one. A fourth column changes the first file where
// it was chosen and gives it again, by its path or as the browser still
// holds it, with what that must show.
const file = (name, bytes, shows, note = '') => ({name, bytes, shows, note});
const one = image(SOURCE_SIZE);
const NAMES = [['game.nes', 'game_expanded.nes'], ['game.NES', 'game.NES_expanded.nes'],  // only lower case is replaced
               ['rom.bin', 'rom.bin_expanded.nes'], ['game.nes.bak', 'game.nes.bak_expanded.nes'],
               ['.nes', '_expanded.nes'], ['nes', 'nes_expanded.nes'], ['Spiel über alles.nes', 'Spiel über alles_expanded.nes'],
               ['ゲーム.NES', 'ゲーム.NES_expanded.nes'], ['🎮 x.nes', '🎮 x_expanded.nes']].map(([name, out]) => file(name, one, out));
const SEVERAL = [file('first.nes', one, 'first_expanded.nes'), file('short.nes', one.subarray(0, 100), TOO_SHORT),
                 file('second.nes', image(SOURCE_SIZE + 7), 'second_expanded.nes')];
const changed = image(SOURCE_SIZE + 1);
const CASES = [
  ['the sample', 'choose', [file('sample.nes', sample, 'sample_expanded.nes')]],
  ['an image whose header says two banks', 'choose', [file('two.nes', image(SOURCE_SIZE, {prg: 2}), 'two_expanded.nes', NOTE.expanded)]],
  ['an expanded image, dropped again', 'drop', [file('big.nes', expectedImage(one), 'big_expanded.nes', NOTE.expanded)]],
  // Each is expanded all the same, as the command line does.
  ['images of other banks, without the iNES mark or with a trainer', 'drop', [
    file('four.nes', image(0x10 + 4 * 0x4000 + 0x2000, {prg: 4}), 'four_expanded.nes', NOTE.fourPrg),
    file('chr.nes', image(0x10 + 0x4000 + 2 * 0x2000, {chr: 2}), 'chr_expanded.nes', NOTE.twoChr),
    file('mark.nes', image(SOURCE_SIZE, {mark: false}), 'mark_expanded.nes', NOTE.noMark),
    file('trainer.nes', image(SOURCE_SIZE + 512, {trainer: true}), 'trainer_expanded.nes', NOTE.trainer)]],
  ['a longer file, by its first bytes', 'choose', [file('long.nes', image(30000), 'long_expanded.nes')]],
  ['a longer file, dropped', 'drop', [file('long-dropped.nes', image(2 * SOURCE_SIZE + 1), 'long-dropped_expanded.nes')]],
  ['names, by the command line\'s rule', 'choose', NAMES],
  ['names, dropped', 'drop', NAMES],
  ['several files, in order', 'choose', SEVERAL],
  ['several files, dropped', 'drop', SEVERAL],
  ['twenty files', 'choose', Array.from({length: 20}, (_, i) => file(`${i}.nes`, one, `${i}_expanded.nes`))],
  ['a file one byte short', 'choose', [file('short.nes', one.subarray(0, SOURCE_SIZE - 1), TOO_SHORT)]],
  ['an empty file', 'drop', [file('empty.nes', new Uint8Array(0), TOO_SHORT)]],
  ['an image after an error', 'choose', [file('again.nes', one, 'again_expanded.nes')]],
  // The page has 1 MiB of memory: room for a name of 500,000 bytes but
  // not for the output name too, and no room for 2,000,000 bytes at all.
  ['a name too long for the output name', 'drop', [file('x'.repeat(500000) + '.nes', one, OUT_OF_MEMORY)]],
  ['a name too long for the page', 'drop', [file('x'.repeat(2000000) + '.nes', one, OUT_OF_MEMORY)]],
  ['an image after running out of memory', 'choose', [file('after.nes', one, 'after_expanded.nes')]],
  ['a short file, mended and chosen again', 'choose', [file('mended.nes', one.subarray(0, 100), TOO_SHORT)],
   {change: (at) => writeFile(at, one), again: 'choose', shows: () => file('mended.nes', one, 'mended_expanded.nes')}],
  ['a chosen file changed since', 'choose', [file('chosen.nes', one, 'chosen_expanded.nes')],
   {change: (at) => writeFile(at, changed), again: 'drop', shows: (kind) => file('chosen.nes', changed, kind.afterChange)}],
  ['a chosen file removed since', 'choose', [file('chosen.nes', one, 'chosen_expanded.nes')],
   {change: (at) => rm(at), again: 'drop', shows: (kind) => file('chosen.nes', null, kind.afterRemoval)}],
];

// What the page must show for `files`: for one file its result in the live
// region and its link below; for several a count there, and each result
// with its link below.
function expected(files) {
  const first = files.findIndex(({shows}) => shows.endsWith('_expanded.nes'));
  const shown = files.map(({name, shows, note}, i) => {
    const failed = !shows.endsWith('_expanded.nes');
    return {failed, note: !!note, link: failed ? null : {name: shows, text: `Save ${shows}`, blob: true},
            text: failed ? `Error: ${name}: ${shows}`
                         : `${name} is expanded into ${shows}, 40,976 bytes, ready to save.` +
                           (i === first ? ' ' + SAVED_WHERE : '') + (note ? 'Note: ' + note : '')};
  });
  const count = (n, what) => `${n} ${what}${n === 1 ? '' : 's'}`;
  const failures = shown.filter((f) => f.failed).length;
  return files.length === 1 ? {
    live: {text: shown[0].text, error: shown[0].failed, note: shown[0].note, links: 0},
    results: shown[0].link ? [{text: '', error: false, note: false, link: shown[0].link}] : [],
  } : {
    live: {text: `${count(files.length - failures, 'image')} expanded${failures ? ', ' + count(failures, 'error') : ''}`,
           error: false, note: false, links: 0},
    results: shown.map(({failed, note, text, link}) => ({text, error: failed, note, link})),
  };
}

// A reader's settings that a test can ask for: dark mode, forced colours
// (high contrast) and a default font size other than 16 px.
const PLAIN = {};
const DARK = {dark: true};
const LOW_VISION = {forced: true, fontPx: 24};
const LARGE_TEXT = {fontPx: 32};

// Chromium takes each setting per page, through the DevTools protocol.
const chromium = {
  name: 'Chromium',
  launchOptions: () => ({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  }),
  async apply(page, settings) {
    const cdp = await page.createCDPSession();
    await cdp.send('Emulation.setEmulatedMedia', {features: [
      {name: 'prefers-color-scheme', value: settings.dark ? 'dark' : 'light'},
      {name: 'forced-colors', value: settings.forced ? 'active' : 'none'},
    ]});
    if (settings.fontPx) await cdp.send('Page.setFontSizes', {fontSizes: {standard: settings.fontPx}});
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
    executablePath: process.env.FIREFOX ?? '/usr/bin/firefox-esr',
    extraPrefsFirefox: {
      ...Object.fromEntries([
        'app.update.auto', 'app.update.enabled', 'app.normandy.enabled', 'app.shield.optoutstudies.enabled',
        'browser.region.update.enabled', 'browser.topsites.contile.enabled', 'datareporting.policy.dataSubmissionEnabled',
        'dom.push.connection.enabled', 'extensions.blocklist.enabled', 'extensions.systemAddon.update.enabled',
        'identity.fxaccounts.enabled', 'messaging-system.rsexperimentloader.enabled', 'network.prefetch-next',
        'network.captive-portal-service.enabled', 'network.connectivity-service.enabled',
        'toolkit.telemetry.enabled', 'toolkit.telemetry.unified'].map((name) => [name, false])),
      ...Object.fromEntries(['browser.region.network.url', 'browser.safebrowsing.provider.mozilla.updateURL',
                             'media.gmp-manager.url', 'toolkit.telemetry.server'].map((name) => [name, ''])),
      'network.dns.disablePrefetch': true,
      'network.trr.mode': 5,
      // 0 is dark, 1 light, whatever the desktop's theme.
      'layout.css.prefers-color-scheme.content-override': settings.dark ? 0 : 1,
      // 2 is "always use my colours", which is forced-colors: active.
      'browser.display.document_color_use': settings.forced ? 2 : 0,
      ...(settings.fontPx ? {'font.size.variable.x-western': settings.fontPx} : {}),
    },
  }),
  apply: async () => {},
  sessionKey: (settings) => JSON.stringify(settings),
  // Firefox reads a file changed since it was chosen as it now is, and
  // fails a read of one removed since with an AbortError, not as missing.
  afterChange: 'chosen_expanded.nes',
  afterRemoval: CANNOT_READ,
};

// Set in the page before its own script: records what a test checks at the
// end, the files that the input was last given, and the downloads whose
// links a click of the browser's own reached.
function watchPage() {
  window.trouble = [];
  document.addEventListener('securitypolicyviolation',
                            (event) => trouble.push(`blocked by ${event.violatedDirective}: ${event.blockedURI}`));
  // The blob URLs that the page made and has not let go.
  window.liveUrls = new Set();
  const {createObjectURL: create, revokeObjectURL: revoke} = URL;
  URL.createObjectURL = (object) => { const url = create.call(URL, object); liveUrls.add(url); return url; };
  URL.revokeObjectURL = (url) => { liveUrls.delete(url); revoke.call(URL, url); };
  document.addEventListener('change', (event) => { window.lastChosen = Array.from(event.target.files); }, {capture: true});
  window.clicked = [];
  document.addEventListener('click', (event) => {
    const link = event.isTrusted && event.target.closest?.('a[download]');
    if (link) clicked.push(link.download);
  }, {capture: true});
}

// The page from a server on this machine, sending the policy that the
// query names as its Content-Security-Policy header.
const server = createServer(async (request, response) => {
  const policy = new URL(request.url, 'http://localhost').searchParams.get('policy');
  response.writeHead(200, {'Content-Type': 'text/html; charset=utf-8', 'Content-Security-Policy': policy});
  response.end(await readFile(pageFile));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
after(() => server.close());
const served = (policy) => `http://127.0.0.1:${server.address().port}/?policy=${encodeURIComponent(policy)}`;

// The tests below, for one browser.
function pageTests(kind) {
  const sessions = new Map();
  let fileCount = 0;
  let files;

  before(async () => {
    files = await mkdtemp(path.join(tmpdir(), 'nesexpand-files-'));
    // Started at once, while the first tests run, as Firefox starts slowly;
    // a browser that fails to start fails the tests that use it.
    for (const settings of [PLAIN, DARK, LOW_VISION, LARGE_TEXT]) sessionFor(settings).catch(() => {});
  });
  after(async () => {
    for (const starting of sessions.values()) await (await starting.catch(() => null))?.close();
    await rm(files, {recursive: true, force: true});
  }, LIMIT);

  // A started browser, with a fresh profile and a folder for its downloads.
  function sessionFor(settings) {
    const key = kind.sessionKey(settings);
    if (!sessions.has(key)) sessions.set(key, (async () => {
      const folder = await mkdtemp(path.join(tmpdir(), 'nesexpand-page-test-'));
      const downloads = path.join(folder, 'downloads');
      await Promise.all([mkdir(downloads), mkdir(path.join(folder, 'profile'))]);
      const browser = await puppeteer.launch({
        ...kind.launchOptions(settings), headless: true, userDataDir: path.join(folder, 'profile'),
        env: {...process.env, LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8'},  // names outside ASCII need it
      });
      const context = await browser.createBrowserContext({downloadBehavior: {policy: 'allow', downloadPath: downloads}});
      return {downloads, context, close: () => browser.close().then(() => rm(folder, {recursive: true, force: true}))};
    })());
    return sessions.get(key);
  }

  // Opens the page with every request, console error and uncaught error
  // recorded, and waits until it is ready, or has 'started' one way or
  // another. `prepare` runs in the page before any of its own script.
  async function openPage({prepare, width = 800, settings = PLAIN, wait = 'ready', url = pageUrl} = {}) {
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
    await page.goto(url);
    if (wait) {
      await page.waitForFunction((ready) => (ready ? !document.getElementById('file').disabled
                                                   : !document.getElementById('status').textContent.endsWith('…')), {}, wait === 'ready');
    }
    return page;
  }

  // The audits of one state: nothing left the page, nothing went wrong in
  // it, the only blob URLs alive are those of the links on show, axe-core
  // finds nothing, nothing runs off the screen sideways, and no text in the
  // picture or the results runs beyond its box, where it would be cut off.
  async function audit(page, state) {
    const outside = page.requests.filter((url) => url !== pageUrl && !/^(data|blob):/.test(url));
    assert.deepEqual(outside, [], `${state}: requests that left the page`);
    const inPage = await page.evaluate(async (source) => {
      if (!window.axe) (0, eval)(source);
      const {violations} = await axe.run(document, {resultTypes: ['violations']});
      const root = document.documentElement;
      return {
        trouble, live: [...liveUrls].sort(), overflow: root.scrollWidth - root.clientWidth,
        clipped: [...document.querySelectorAll('.map *, [role="status"] *, .results *')]
          .filter((el) => getComputedStyle(el).display !== 'inline')  // which has no box of its own to overrun
          .filter((el) => el.scrollWidth > el.clientWidth || el.scrollHeight > el.clientHeight)
          .map((el) => `${el.className || el.tagName} "${el.textContent}" ${el.scrollWidth}x${el.scrollHeight} ` +
                       `in ${el.clientWidth}x${el.clientHeight}`),
        shown: [...document.querySelectorAll('a[download]')].map((a) => a.href).sort(),
        violations: violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`),
      };
    }, axeSource);
    assert.deepEqual([...page.errors, ...inPage.trouble], [], `${state}: errors in the page`);
    assert.deepEqual(inPage.live, inPage.shown, `${state}: blob URLs kept alive beside the links on show`);
    assert.deepEqual(inPage.violations, [], `${state}: axe-core`);
    assert.equal(inPage.overflow, 0, `${state}: px wider than the screen`);
    assert.deepEqual(inPage.clipped, [], `${state}: text cut off`);
  }

  // What the page shows: the live region, and each result below it with
  // its link, as a reader tells them apart: an error and a note each have
  // their word and box, not only a colour, and a note is in the text's own
  // colour, not muted.
  const readPage = (page) => page.evaluate(() => {
    const boxed = (el, word) => !!el && el.querySelector('strong')?.textContent === word &&
                                parseFloat(getComputedStyle(el).borderLeftWidth) >= 4;
    const marks = (el) => ({
      error: boxed(el.querySelector('.error'), 'Error:'),
      note: boxed(el.querySelector('.note'), 'Note:') &&
            getComputedStyle(el.querySelector('.note')).color === getComputedStyle(document.body).color,
    });
    const status = document.querySelector('[role="status"]');
    return {
      live: {text: status.textContent, ...marks(status), links: status.querySelectorAll('a').length},
      results: [...document.querySelectorAll('.results > li')].map((li) => {
        const a = li.querySelector('a');
        return {
          text: [...li.childNodes].filter((n) => n !== a).map((n) => n.textContent).join(''), ...marks(li),
          link: a && {name: a.getAttribute('download'), text: a.textContent, blob: a.href.startsWith('blob:')},
        };
      }),
    };
  });

  // Runs `action` and waits until the live region says something;
  // returns what the page then shows.
  async function settle(page, action) {
    await page.evaluate(() => {
      const status = document.querySelector('[role="status"]');
      window.settled = false;
      new MutationObserver((_, watch) => { if (status.textContent) watch.disconnect(window.settled = true); })
        .observe(status, {childList: true, characterData: true, subtree: true});
    });
    await action();
    await page.waitForFunction(() => window.settled, {polling: POLL_MS, timeout: STEP_LIMIT_MS}).catch(async () => {
      assert.fail(`the page still says "${(await readPage(page)).live.text}"`);
    });
    return readPage(page);
  }

  // Gives the files [{name, bytes}] to the page at once, through the input's
  // file chooser or by a drop on the drop zone, and checks what it shows,
  // that its input names the same files, and every image it offers (of a
  // few). `paths` are the files written for the input; a drop of `paths`
  // drops the files that the input was last given.
  async function give(page, how, sources, paths = []) {
    const again = paths.length > 0;
    for (const {name, bytes} of how === 'choose' && !again ? sources : []) {
      const folder = path.join(files, String(++fileCount));  // a folder each, so any name is free
      await mkdir(folder);
      paths.push(path.join(folder, name));
      await writeFile(paths.at(-1), bytes);
    }
    const input = await page.$('input[type="file"]');
    const encoded = how === 'drop' && !again && sources.map(({name, bytes}) => [name, Buffer.from(bytes).toString('base64')]);
    const choose = async () => {
      const [chooser] = await Promise.all([page.waitForFileChooser({timeout: STEP_LIMIT_MS}), input.click()]);
      await chooser.accept(paths);
    };
    const shown = await settle(page, () => (how === 'choose' ? choose() : page.evaluate((encoded) => {
      const transfer = new DataTransfer();
      const files = encoded ? encoded.map(([name, base64]) =>
        new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name)) : window.lastChosen;
      for (const file of files) transfer.items.add(file);
      const zone = document.getElementById('drop');
      const event = (type) => new DragEvent(type, {dataTransfer: transfer, bubbles: true, cancelable: true});
      zone.dispatchEvent(event('dragover'));
      if (zone.dispatchEvent(event('drop'))) throw new Error('the drop was left to the browser');
    }, encoded)));
    assert.deepEqual(shown, expected(sources));
    assert.deepEqual(await input.evaluate((el) => Array.from(el.files, (f) => f.name)), sources.map((f) => f.name),
                     'the input names other files');
    const offered = sources.filter((f) => f.shows.includes('_expanded.nes'));
    for (const [i, f] of offered.length <= DOWNLOADS_CHECKED ? offered.entries() : []) {
      assertSameBytes(await download(page, i), expectedImage(f.bytes.subarray(0, SOURCE_SIZE)), f.name);
    }
    return paths;
  }

  // Saves the image of the result's link as a person does, by clicking it,
  // and reads the file that the browser wrote into its download folder. A
  // click that misses the link fails as such, apart from a download that
  // the browser never saves.
  async function download(page, index) {
    const links = await page.$$('a[download]');
    const name = await links[index].evaluate((a) => a.getAttribute('download'));
    const file = path.join(page.session.downloads, name);
    await page.evaluate(() => { window.clicked = []; });
    await links[index].click();
    await page.waitForFunction((name) => clicked.includes(name), {polling: POLL_MS, timeout: STEP_LIMIT_MS}, name)
      .catch(() => assert.fail(`the click meant for ${name} did not reach its link`));
    // Done once the file is there in full and no partial file is left beside it.
    for (const deadline = Date.now() + STEP_LIMIT_MS; ;) {
      const size = await stat(file).then((s) => s.size, () => -1);
      const saved = await readdir(page.session.downloads);
      if (size === EXPANDED_SIZE && !saved.some((f) => /\.(crdownload|part)$/.test(f))) break;
      if (Date.now() > deadline) assert.fail(`${name} was clicked but not saved; the download folder holds ${JSON.stringify(saved)}`);
      await sleep(POLL_MS);
    }
    const bytes = new Uint8Array(await readFile(file));
    await rm(file);  // so that the next download of this name is not renamed
    return bytes;
  }

  describe('each case', () => {
    let page;
    before(async () => { page = await openPage(); }, LIMIT);
    after(() => page.close(), LIMIT);
    for (const [what, how, sources, later] of CASES) {
      test(what, async () => {
        const paths = await give(page, how, sources);
        if (later) {
          await later.change(paths[0]);
          await give(page, later.again, [later.shows(kind)], paths);
        }
      });
    }
    test('after them all, and a file dropped beside the drop zone', async () => {
      await audit(page, 'after every case');
      const before = await readPage(page);
      const prevented = await page.evaluate(() => {
        const transfer = new DataTransfer();
        transfer.items.add(new File([new Uint8Array(24592)], 'beside.nes'));
        return !document.body.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
      });
      assert.ok(prevented, 'the browser would have opened the file in place of the page');
      assert.deepEqual(await readPage(page), before);
    });
  });

  describe('what the page explains', () => {
    // Each row of the list says where it lies in the expanded image and
    // what is there; an expansion of a random image must bear out each.
    test('is there without WebAssembly, in numbers that the expansion bears out', async () => {
      const explain = (page) => page.evaluate(() => ({
        text: document.querySelector('main').innerText.replace(/\s+/g, ' '),
        rows: [...document.querySelectorAll('.offsets li')].map((li) => {
          const own = li.cloneNode(true);
          own.querySelector('ul')?.remove();
          return [own.textContent, li.parentElement.matches('.offsets')];
        }),
      }));
      const bare = await openPage({prepare: () => { delete globalThis.WebAssembly; }, wait: 'started'});
      const shown = await explain(bare);
      const page = await openPage();
      assert.deepEqual((await explain(page)).rows, shown.rows, 'the list with WebAssembly');
      const src = image(SOURCE_SIZE);
      await give(page, 'choose', [file('marked.nes', src, 'marked_expanded.nes')]);
      const out = await download(page, 0);
      await Promise.all([page.close(), bare.close()]);

      const hex = (text) => parseInt(text.replace(/^0x/, ''), 16);
      const rows = shown.rows.map(([text, top]) => {
        const [, first, last = first, cpu, cpuLast = cpu, size, what] = text.match(
          /^(0x[0-9A-F]{4})(?:–(0x[0-9A-F]{4}))? ?(?:\(\$([0-9A-F]{4})(?:–\$([0-9A-F]{4}))?\))?(?:, ([\d,]+) bytes\.)?:? (.*)$/);
        return {text, top, what, first: hex(first), last: hex(last), cpu: cpu ? [hex(cpu), hex(cpuLast)] : null,
                size: size && Number(size.replace(/,/g, ''))};
      });
      const top = [];
      for (const row of rows) (row.top ? top : top.at(-1).inner).push(Object.assign(row, {inner: []}));
      for (const row of rows) {
        const claims = [];
        const claim = (holds, what) => { claims.push(what); assert.ok(holds, `${what}: ${row.text}`); };
        // What a row says holds for its bytes but those of the rows inside it.
        const each = (test) => {
          for (let x = row.first; x <= row.last; x++) if (!row.inner.some((r) => r.first === x) && !test(x)) return false;
          return true;
        };
        const prg = row.first >= 0x10 && row.first < 0x8010;
        assert.deepEqual(row.cpu, prg ? [0x8000 + row.first - 0x10, 0x8000 + row.last - 0x10] : null, `CPU address: ${row.text}`);
        if (row.top) claim(row.size === row.last - row.first + 1, 'the size');
        const from = row.what.match(/from source offset (0x[0-9A-F]{4})/);
        if (from) claim(each((x) => out[x] === src[x - row.first + hex(from[1])]), 'the moved block');
        if (/zeros/.test(row.what)) claim(each((x) => out[x] === 0), 'zeros');
        if (/as (it was|they were)/.test(row.what)) claim(each((x) => out[x] === src[x < 0x10 ? x : x - 0x4000]), 'kept');
        const value = !row.top && row.what.match(/^0x([0-9A-F]{2}),/);
        if (value) claim(out[row.first] === parseInt(value[1], 16), 'the byte');
        if (/PRG-ROM banks: 1 → 2/.test(row.what)) claim(src[row.first] === 1 && out[row.first] === 2, 'the bank count');
        assert.equal(claims.length, row.top ? 2 : 1, `what the test can check: ${row.text}`);
      }
      assert.deepEqual(top.map((r) => [r.first, r.last + 1]).flat(), [0, ...top.slice(1).map((r) => [r.first, r.first]).flat(), EXPANDED_SIZE],
                       'rows that cover the expanded image, one after the other');
      const free = top.filter((r) => r.text.includes('Free:')).reduce((sum, r) => sum + r.last - r.first + 1, 0);
      const home = `$${(out[0x472E] << 8 | out[0x472A]).toString(16).toUpperCase()}`;
      for (const fact of ['24,592 bytes', '40,976 bytes', `${free.toLocaleString('en-US')} bytes of free space`, `now say ${home}`,
                          '0x0004: byte 4', '0x472A ($C71A): 0x00', '0x472E ($C71E): 0x80', '0x6A88–0x8009 ($EA78–$FFF9)']) {
        assert.ok(shown.text.includes(fact), `the page does not say "${fact}"`);
      }
    });

    test('the picture is the CPU\'s view to scale, the one bank mirrored before, with a table that says the same', async () => {
      const page = await openPage({wait: null});
      // Named by its caption. Only Chromium's tree is in reach (Firefox
      // names a figure from its caption by itself), and only it needs more
      // than valid markup for that.
      if (kind === chromium) {
        const figure = await page.accessibility.snapshot({root: await page.$('figure'), interestingOnly: false});
        const caption = await page.$eval('figcaption', (el) => el.textContent.replace(/\s+/g, ' ').trim());
        assert.deepEqual([figure.role, figure.name], ['figure', caption]);
      }
      const shown = await page.evaluate(() => {
        const map = document.querySelector('.map');
        const table = document.querySelector('figure table');
        return {
          hidden: map.getAttribute('aria-hidden') === 'true',
          read: table.closest('[aria-hidden="true"]') === null && getComputedStyle(table).display !== 'none' &&
                getComputedStyle(table).visibility !== 'hidden',
          banks: [...map.querySelectorAll('.bank')].map((bank) => ({
            border: getComputedStyle(bank).borderTopStyle, width: bank.clientWidth,
            parts: [...bank.children].map((part) => [part.className, part.dataset.range, part.getBoundingClientRect().width]),
          })),
          table: [...table.rows].map((tr) => [...tr.cells].map((cell) => cell.textContent.replace(/\s+/g, ' ').trim())),
        };
      });
      await page.close();
      assert.ok(shown.hidden, 'the picture is read aloud as well as its table');
      assert.ok(shown.read, 'the table is hidden from screen readers');
      assert.deepEqual(shown.table[0], ['When', '$8000–$BFFF', '$C000–$FFFF']);
      // The mirror is told by its dashed border, not by colour.
      assert.deepEqual(shown.banks.map((bank) => bank.border), ['dashed', 'solid', 'solid', 'solid']);
      assert.match(shown.table[1][1], /mirrored/);
      for (const [row, [when, halves]] of Object.entries(CPU_MAP).entries()) {
        assert.equal(shown.table[row + 1][0], when);
        for (const [half, parts] of halves.entries()) {
          const {width, parts: drawn} = shown.banks[2 * row + half];
          assert.deepEqual(drawn.map(([kind, range]) => [kind, range]), parts.map(([kind, first, last]) => [kind, range(first, last)]));
          for (const [j, [kind, first, last]] of parts.entries()) {
            // The 6 bytes of vectors are drawn a few pixels wide all the same.
            const want = width * (last - first + 1) / 0x4000;
            assert.ok(Math.abs(drawn[j][2] - want) <= 4, `${when} ${half}, part ${j}: ${drawn[j][2]} px, not ${want}`);
            const says = `${KIND_WORDS[kind]} ${range(first, last)}`;
            assert.ok(shown.table[row + 1][half + 1].includes(says), `${when}: "${shown.table[row + 1][half + 1]}" lacks "${says}"`);
          }
        }
      }
    });

    test('nothing moves while the page starts', async () => {
      for (const width of [800, 320]) {
        // WebAssembly waits until the test lets it go.
        const page = await openPage({width, wait: null, prepare: () => {
          const instantiate = WebAssembly.instantiate;
          const gate = new Promise((resolve) => { window.startWebAssembly = resolve; });
          WebAssembly.instantiate = (...args) => gate.then(() => instantiate.apply(WebAssembly, args));
        }});
        const layout = () => page.evaluate(() => [...document.body.querySelectorAll('*')]
          .filter((el) => !el.closest('[role="status"] > *'))
          .map((el) => { const r = el.getBoundingClientRect(); return [r.x, r.y, r.width, r.height]; }));
        const starting = await layout();
        assert.match((await readPage(page)).live.text, /…$/);
        await page.evaluate(() => window.startWebAssembly());
        await page.waitForFunction(() => !document.getElementById('file').disabled);
        const moved = (await layout()).findIndex((box, i) => box.some((v, j) => Math.abs(v - starting[i][j]) >= 1));
        assert.equal(moved, -1, `at ${width} px, element ${moved} moved`);
        await page.close();
      }
    });
  });

  describe('every reader', () => {
    // Each state audited once: ready, and with an expansion and an error on
    // show, in light and dark mode; the screenshots are of the latter. The
    // input and then the link are reached with Tab, and named.
    for (const [mode, settings, variable] of [['light', PLAIN, 'SCREENSHOT'], ['dark', DARK, 'SCREENSHOT_DARK']]) {
      test(`in ${mode} mode`, async () => {
        const page = await openPage({settings, width: Number(process.env.SCREENSHOT_WIDTH ?? 800)});
        console.log(`# ${kind.name}, ${mode}: ready ${await page.evaluate(() => Math.round(performance.now()))} ms after the page was asked for`);
        const [paper, ink] = await page.evaluate(() => ['backgroundColor', 'color'].map((p) =>
          getComputedStyle(document.documentElement)[p].match(/\d+/g).slice(0, 3).reduce((sum, v) => sum + Number(v), 0) / 3));
        assert.ok(settings.dark ? paper < 60 && ink > 200 : paper > 200 && ink < 60, `paper ${paper}, ink ${ink}`);
        const focused = () => page.evaluate(() => [document.activeElement.tagName,
          document.activeElement.labels?.[0]?.textContent ?? document.activeElement.textContent]);
        await page.keyboard.press('Tab');
        assert.deepEqual(await focused(), ['INPUT', 'Choose iNES images']);
        await audit(page, 'ready');
        await give(page, 'choose', [file('game.nes', one, 'game_expanded.nes'), file('short.nes', one.subarray(0, 100), TOO_SHORT)]);
        await audit(page, 'after an expansion and an error');
        await page.focus('input');  // the download has moved the focus to the link
        await page.keyboard.press('Tab');
        assert.deepEqual(await focused(), ['A', 'Save game_expanded.nes']);
        if (kind === chromium && process.env[variable]) {
          await page.mouse.move(0, 0);  // off the link that the download clicked
          await page.evaluate(() => document.activeElement.blur());  // and without the focus that Tab gave it
          await page.screenshot({path: process.env[variable], fullPage: true});
        }
        await page.close();
      });
    }

    // At 320 px with large text, and on a wide screen: nothing scrolls
    // sideways and no text is cut off, before and after an expansion with a
    // long name, a note and an error, and both banks of the picture show. In
    // forced colours the picture's kinds stay apart by pattern, the legend
    // matches it, and the link keeps its shape.
    for (const [width, settings] of [[320, LOW_VISION], [320, LARGE_TEXT], [1280, PLAIN]]) {
      test(`a ${width} px screen with ${settings.fontPx ?? 16} px text${settings.forced ? ', in forced colours' : ''}`, async () => {
        const page = await openPage({settings, width});
        const banks = () => page.evaluate(() => [...document.querySelectorAll('.bank')].map((bank) => {
          const box = bank.getBoundingClientRect();
          return box.left >= 0 && box.right <= document.documentElement.clientWidth && box.width > 50;
        }));
        await audit(page, 'ready');
        assert.deepEqual(await banks(), [true, true, true, true]);
        const name = 'a-rather-long-file-name-for-a-narrow-phone-screen.nes';
        await give(page, 'choose', [file(name, one, name.replace('.nes', '_expanded.nes')),
                                    file('two.nes', image(SOURCE_SIZE, {prg: 2}), 'two_expanded.nes', NOTE.expanded),
                                    file('short.nes', one.subarray(0, 100), TOO_SHORT)]);
        await audit(page, 'after an expansion, a note and an error');
        assert.deepEqual(await banks(), [true, true, true, true]);
        const looks = await page.evaluate(() => {
          const look = (el) => `${getComputedStyle(el).backgroundColor} ${getComputedStyle(el).backgroundImage}`;
          const link = getComputedStyle(document.querySelector('a[download]'));
          return {
            forced: matchMedia('(forced-colors: active)').matches,
            bars: ['kept', 'moved', 'free', 'vectors'].map((kind) => look(document.querySelector(`.bank .${kind}`))),
            swatches: ['kept', 'moved', 'free', 'vectors'].map((kind) => look(document.querySelector(`.swatch.${kind}`))),
            border: ['Top', 'Right', 'Bottom', 'Left'].every((side) => link[`border${side}Style`] !== 'none' &&
              parseFloat(link[`border${side}Width`]) >= 1 && link[`border${side}Color`] !== link.backgroundColor),
          };
        });
        await page.close();
        assert.equal(looks.forced, !!settings.forced, 'forced colours');
        if (!settings.forced) return;
        assert.equal(new Set(looks.bars).size, 4, `kinds look alike: ${looks.bars.join(' / ')}`);
        assert.deepEqual(looks.swatches, looks.bars, 'the legend does not match the picture');
        assert.ok(looks.border, 'the download link has no border on every side');
      });
    }

    test('the reader\'s default font size sizes the text and the layout', async () => {
      const measure = async (settings) => {
        const page = await openPage({settings, width: 1600, wait: null});
        const sizes = await page.evaluate(() => ({
          fonts: [...document.querySelectorAll('*')].map((el) => parseFloat(getComputedStyle(el).fontSize)),
          widths: ['body', '.bank', '.drop'].map((s) => document.querySelector(s).getBoundingClientRect().width),
        }));
        await page.close();
        return sizes;
      };
      const [plain, large] = [await measure(PLAIN), await measure(LOW_VISION)];
      const scale = LOW_VISION.fontPx / 16;
      assert.equal(large.fonts[0], LOW_VISION.fontPx, 'the root font size');
      for (const [i, px] of plain.fonts.entries()) {
        assert.ok(Math.abs(large.fonts[i] - px * scale) < 0.5, `element ${i}: ${large.fonts[i]} px, not ${px * scale}`);
      }
      for (const [i, px] of plain.widths.entries()) {
        assert.ok(Math.abs(large.widths[i] / (px * scale) - 1) < 0.01, `width ${i}: ${large.widths[i]} px, not ${px * scale}`);
      }
    });
  });

  // Each way to fail ends in plain words, marked as an error, with nothing
  // to choose any more; the details, in the toolchain's words, go to the
  // console only.
  describe('failing', () => {
    const FAILURES = [
      ['a start without WebAssembly', {prepare: () => { delete globalThis.WebAssembly; }}],
      ['a start with WebAssembly that fails', {reason: 'refused for the test', prepare: () => {
        WebAssembly.instantiate = () => Promise.reject(new WebAssembly.CompileError('refused for the test'));
      }}],
      ['a module that fails as it is made', {reason: 'made refused', prepare: () => {
        Object.defineProperty(window, 'createExpander', {get: () => () => { throw new TypeError('made refused for the test'); }, set: () => {}});
      }}],
      ['a browser call that fails in the set-up after the module started', {reason: 'input refused', prepare: () => {
        // As an older browser lacks a call: here, enabling the input.
        const disabled = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'disabled');
        Object.defineProperty(HTMLInputElement.prototype, 'disabled', {...disabled, set(value) {
          if (!value) throw new TypeError('input refused for the test');
          disabled.set.call(this, value);
        }});
      }}],
      ['a server\'s policy that refuses WebAssembly', {reason: 'CompileError', url: served("script-src 'unsafe-inline'")}],
      ['a module that stops halfway through a file', {reason: 'stopped for the test', halfway: true, prepare: () => {
        let made;
        Object.defineProperty(window, 'createExpander', {
          get: () => () => made().then((m) => Object.assign(m, {_page_expand: () => { throw new Error('stopped for the test'); }})),
          set: (value) => { made = value; },
        });
      }}],
    ];
    for (const [what, {prepare, url, reason, halfway}] of FAILURES) {
      test(`${what} is told in plain words`, async () => {
        const page = await openPage({prepare, url, wait: halfway ? 'ready' : 'started'});
        if (halfway) await settle(page, async () => (await page.$('input[type="file"]')).uploadFile(pageFile));
        const says = halfway ? 'The expander failed. Reload the page to try again.' : NOT_STARTED;
        assert.deepEqual(await readPage(page), {live: {text: `Error: ${says}`, error: true, note: false, links: 0}, results: []});
        assert.equal(await page.$eval('input[type="file"]', (el) => el.disabled), true);
        if (reason) assert.ok(page.errors.some((e) => e.includes(reason)), `the console: ${page.errors}`);
        else assert.deepEqual(page.errors, []);
        await page.close();
      });
    }

    // As the README says: a policy that refuses inline scripts and styles,
    // or scripts alone as for a reader who turned them off, leaves the
    // page's own first words: its heading, the two lines on what it does,
    // the sentence that it needs a script, the footer, and nothing that the
    // script fills in. The page's own policy as a header works.
    test('a server\'s own policy must allow what the page\'s allows', async () => {
      const page = await openPage({url: served("default-src 'self'"), wait: null});
      assert.deepEqual((await readPage(page)).live, {text: NEEDS_SCRIPT, error: false, note: false, links: 0});
      for (const policy of ["default-src 'self'", "script-src 'none'"]) {
        await page.goto(served(policy));
        const lines = await page.evaluate(() => document.body.innerText.split('\n').map((line) => line.trim()).filter(Boolean));
        assert.deepEqual([lines.length, lines[0], lines[3]], [5, 'nesexpand', NEEDS_SCRIPT], `${policy}: ${lines.join(' | ')}`);
      }
      const own = (await readFile(pageFile, 'utf8')).match(/http-equiv="Content-Security-Policy" content="([^"]*)"/)[1];
      await page.goto(served(own));
      await page.waitForFunction(() => !document.getElementById('file').disabled);
      await give(page, 'choose', [file('served.nes', one, 'served_expanded.nes')]);
      await page.close();
    });
  });
}

describe('the page file', () => {
  test('stays within its budget, is valid HTML, carries its script and WebAssembly inside, and lets in nothing else', async () => {
    // The whole page is one download, about 44 KB with its notices.
    const budget = 48 * 1024;
    const {size} = await stat(pageFile);
    assert.ok(size <= budget, `${size} bytes, over the budget of ${budget}`);
    const html = await readFile(pageFile, 'utf8');
    const {results} = await new HtmlValidate({extends: ['html-validate:standard']}).validateString(html);
    assert.deepEqual(results.flatMap((r) => r.messages.map((m) => `line ${m.line}: ${m.ruleId}: ${m.message}`)), []);
    assert.match(html, /data:application\/octet-stream;base64,/, 'no WebAssembly inline');
    const outside = html.match(/\s(?:src|href)=["'](?!data:)[^"']*/gi) ?? [];  // attributes only
    assert.deepEqual(outside, [], 'references to other files');
    // Only the page's own inline scripts and style, by their hashes, and
    // fetching only for the inline WebAssembly, as emcc's glue does it;
    // downloads are links, which need no fetching.
    const policy = Object.fromEntries(html.match(/http-equiv="Content-Security-Policy" content="([^"]*)"/)[1]
      .split(';').map((d) => d.trim().split(/\s+/)).map(([name, ...sources]) => [name, sources.join(' ')]));
    const hashes = (tag) => [...html.matchAll(new RegExp(`<${tag}>([\\s\\S]*?)</${tag}>`, 'g'))]
      .map(([, text]) => `'sha256-${createHash('sha256').update(text).digest('base64')}'`);
    assert.equal(hashes('script').length, 2);
    assert.deepEqual(policy, {
      'default-src': "'none'", 'script-src': ["'wasm-unsafe-eval'", ...hashes('script')].join(' '),
      'style-src': hashes('style').join(' '), 'img-src': 'data:', 'connect-src': 'data:', 'base-uri': "'none'", 'form-action': "'none'",
    });
    assert.match(html, /<meta name="description" content="[^"]{50,}">/);
    // The notices of what emscripten compiles in, which the build writes
    // from packaging/page-notices (the package test checks them against
    // the link), and none of the LLVM libraries, which are not linked.
    for (const notice of ['Emscripten Authors', 'Rich Felker', 'Permission is hereby granted']) {
      assert.ok(html.includes(notice), `the page does not carry the notice "${notice}"`);
    }
    assert.ok(!html.includes('LLVM'), 'the page names LLVM, none of whose libraries it holds');
  });
});

for (const kind of [chromium, firefox]) {
  describe(kind.name, () => pageTests(kind));
}
