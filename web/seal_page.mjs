// Run once while the page is built:
//   node seal_page.mjs LINKED OUTPUT NOTICES
// copies the page that emcc linked to OUTPUT with the SHA-256 of each of its
// inline scripts and style sheets written into its Content-Security-Policy,
// in place of INLINE_SCRIPTS and INLINE_STYLES, so that the browser runs
// these and nothing else, and with the text of the file NOTICES, the notices
// of what is compiled into it, in place of its line THIRD_PARTY_NOTICES,
// which stands in a comment. A page without the two, without an inline
// script or style, or without that line, fails the build, as do notices
// that would end the comment.
import {createHash} from 'node:crypto';
import {readFileSync, writeFileSync} from 'node:fs';

const [linked, output, noticesFile] = process.argv.slice(2);
let page = readFileSync(linked, 'utf8');
const notices = readFileSync(noticesFile, 'utf8');

// The hash is of the element's text exactly as it stands between the tags.
function hashes(tag) {
  const found = [...page.matchAll(new RegExp(`<${tag}>([\\s\\S]*?)</${tag}>`, 'g'))];
  if (found.length === 0) throw new Error(`${linked} has no inline <${tag}>`);
  return found.map(([, text]) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`).join(' ');
}

for (const [placeholder, tag] of [['INLINE_SCRIPTS', 'script'], ['INLINE_STYLES', 'style']]) {
  const policy = /http-equiv="Content-Security-Policy" content="[^"]*"/.exec(page);
  if (!policy || policy[0].split(placeholder).length !== 2) {
    throw new Error(`${linked} has no Content-Security-Policy with ${placeholder} once in it`);
  }
  const sealed = policy[0].replace(placeholder, hashes(tag));
  page = page.slice(0, policy.index) + sealed + page.slice(policy.index + policy[0].length);
}
const noticesLine = /^THIRD_PARTY_NOTICES$/m;
if (page.split(noticesLine).length !== 2) {
  throw new Error(`${linked} has no line THIRD_PARTY_NOTICES, or more than one`);
}
if (/<!--|--!?>/.test(notices)) throw new Error(`${noticesFile} would end the comment that holds it`);
page = page.replace(noticesLine, () => notices.trimEnd());
writeFileSync(output, page);
