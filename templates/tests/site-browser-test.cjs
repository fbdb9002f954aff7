// Drives headless Chromium through a generated and served Dorvale site:
//  - a visitor's way from the group index to an area, through the sort orders and the page
//    bar, to a file's details and download page, and a local file downloaded through its link;
//  - every generated page visited: no broken internal link, no leftover @name@, no include
//    left unprocessed or failed, no console error, one h1 and a main landmark, nothing wider
//    than a phone;
//  - catalogue texts with markup shown as text, running nothing;
//  - screenshots of the main pages at desktop and phone widths.
// Started by site-browser-test.sh, which seeds, generates and serves the site.
'use strict';

const fs = require('fs');
const path = require('path');
const os = require('os');

const env = (name) => {
    const value = process.env[name];
    if (!value) {
        console.error(`site-browser-test: ${name} is not set (run site-browser-test.sh)`);
        process.exit(2);
    }
    return value;
};
const SITE_URL = env('DORVALE_SITE_URL');
const SITE_ROOT = env('DORVALE_SITE_ROOT');
const LIBRARY_DIR = env('DORVALE_LIBRARY_DIR');
const SHOTS = env('DORVALE_SCREENSHOTS');
const { chromium } = require(path.join(env('DORVALE_NODE_MODULES'), 'playwright-core'));

const DESKTOP = { viewport: { width: 1280, height: 900 } };
const PHONE = {
    viewport: { width: 390, height: 844 },
    deviceScaleFactor: 2,
    isMobile: true,
    hasTouch: true,
};

const failures = [];
function fail(message) {
    failures.push(message);
    console.error(`FAIL ${message}`);
}
function check(condition, message) {
    if (!condition) {
        fail(message);
    }
    return condition;
}

// ---- The generated tree ----

function walk(dir, base = '') {
    const found = [];
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
        const rel = base ? `${base}/${entry.name}` : entry.name;
        if (entry.isDirectory()) {
            found.push(...walk(path.join(dir, entry.name), rel));
        } else {
            found.push(rel);
        }
    }
    return found;
}

function urlOf(relative) {
    return `${SITE_URL}/dorvale/${relative.split('/').map(encodeURIComponent).join('/')}`;
}

// Whole pages; the area headers and body pages are fragments the pages include.
function isWholePage(relative) {
    return (
        relative.endsWith('.asp') &&
        !relative.startsWith('files/header/') &&
        !relative.startsWith('files/body/')
    );
}

// ---- Watching a page ----

// Records console errors, uncaught errors, failed requests and error responses of a page.
function watch(page) {
    const problems = [];
    page.on('console', (message) => {
        if (message.type() === 'error') {
            problems.push(`console error: ${message.text()}`);
        }
    });
    page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
    page.on('requestfailed', (request) => {
        // Leaving a page aborts what it still loads (such as its icon), and a download ends
        // its navigation the same way; missing files show up as error responses instead.
        const error = request.failure()?.errorText;
        if (error !== 'net::ERR_ABORTED') {
            problems.push(`request failed: ${request.url()} ${error}`);
        }
    });
    page.on('response', (response) => {
        if (response.status() >= 400) {
            problems.push(`HTTP ${response.status()} for ${response.url()}`);
        }
    });
    return problems;
}

function report(problems, where) {
    for (const problem of problems.splice(0)) {
        fail(`${where}: ${problem}`);
    }
}

// What a served page must never show: template references, includes nginx did not process
// or could not resolve.
function checkServedHtml(html, where) {
    const leftover = html.match(/@[a-z]+@/);
    check(!leftover, `${where}: leftover template reference ${leftover && leftover[0]}`);
    check(!html.includes('<!--#'), `${where}: include left unprocessed`);
    check(
        !html.includes('an error occurred while processing the directive'),
        `${where}: an include failed`,
    );
    check(!/<title>\s*404 Not Found/.test(html) && !html.includes('<center><h1>404'),
        `${where}: a 404 page inside the page`);
}

// ---- A visitor's way through the site ----

function parseNumber(text) {
    return Number(text.replace(/,/g, ''));
}

// "%m/%d/%y" as a sortable number; two-digit years 70-99 are 19xx.
function parseShortDate(text) {
    const [m, d, y] = text.split('/').map(Number);
    return (y >= 70 ? 1900 + y : 2000 + y) * 10000 + m * 100 + d;
}

async function rowsOf(page) {
    return page.$$eval('table.files tbody tr', (rows) =>
        rows.map((row) => ({
            title: row.querySelector('th a').textContent,
            href: row.querySelector('th a').getAttribute('href'),
            date: row.querySelector('td[data-label="Date"]').textContent,
            downloads: row.querySelector('td[data-label="Downloads"]').textContent,
        })),
    );
}

// Clicks a link (the click waits for the navigation it starts) and waits for the new page.
async function clickAndWait(page, locator) {
    await locator.first().click();
    await page.waitForLoadState('load');
}

// The area holding the file with this title, found in the generated tree: its id and the
// name of a group listing it.
function findAreaOf(titleHtml) {
    let areaId = null;
    for (const rel of walk(path.join(SITE_ROOT, 'files', 'body'))) {
        const [id] = rel.split('/');
        if (/^\d+$/.test(id) && fs.readFileSync(path.join(SITE_ROOT, 'files', 'body', rel), 'utf8').includes(titleHtml)) {
            areaId = id;
            break;
        }
    }
    if (!areaId) {
        return null;
    }
    for (const rel of walk(path.join(SITE_ROOT, 'areas'))) {
        const html = fs.readFileSync(path.join(SITE_ROOT, 'areas', rel), 'utf8');
        if (html.includes(`/${areaId}/page1-title.asp"`)) {
            return { areaId, group: rel.replace(/\.asp$/, '') };
        }
    }
    return null;
}

async function visitorsWay(browser) {
    const context = await browser.newContext({ ...DESKTOP, acceptDownloads: true });
    const page = await context.newPage();
    const problems = watch(page);
    const target = 'Tom &amp; Jerry&#39;s &quot;Best&quot; Utilities';
    const targetText = 'Tom & Jerry\'s "Best" Utilities';
    const where = findAreaOf(target) || findAreaOf('Tom &amp; Jerry');
    if (!check(where, 'the area of the file "Tom & Jerry\'s ..." is in the generated tree')) {
        await context.close();
        return;
    }

    // Index → group.
    await page.goto(`${SITE_URL}/dorvale/index.asp`);
    check((await page.textContent('h1')) === 'File groups', 'index: heading');
    await clickAndWait(page, page.locator('ul.cards a.card', { hasText: where.group }), 'group');
    check((await page.textContent('h1')) === where.group, `group page: heading ${where.group}`);

    // Group → area, sorted by title.
    await clickAndWait(page, page.locator(`ul.cards a[href$="/${where.areaId}/page1-title.asp"]`), 'area');
    check(page.url().endsWith(`/${where.areaId}/page1-title.asp`), `area page: ${page.url()}`);
    const areaName = await page.textContent('h1');
    check(areaName && areaName.length > 0, 'area page: heading from the area header');
    check(
        (await page.getAttribute('nav.areas a[aria-current="page"]', 'href')).endsWith(
            `/${where.areaId}/page1-title.asp`,
        ),
        'area page: the area header marks the current area',
    );
    await screenshotBoth(browser, page.url(), 'filepage');

    // Each sort order's first page, checked in its order: `compare` of neighbours never
    // comes out positive.
    const sorted = async (sort, compare) => {
        await clickAndWait(page, page.locator('nav.sorts a', { hasText: sort }), sort);
        check(page.url().endsWith(`/page1-${sort.toLowerCase()}.asp`), `sort ${sort}: ${page.url()}`);
        check(
            (await page.getAttribute('nav.sorts a[aria-current]', 'href')).endsWith(
                `page1-${sort.toLowerCase()}.asp`,
            ),
            `sort ${sort}: marked as current`,
        );
        const rows = await rowsOf(page);
        check(rows.length === 10, `sort ${sort}: a full first page (${rows.length} rows)`);
        for (let i = 1; i < rows.length; ++i) {
            check(compare(rows[i - 1], rows[i]) <= 0,
                `sort ${sort}: row ${i + 1} out of order (${JSON.stringify(rows[i - 1])} then ${JSON.stringify(rows[i])})`);
        }
    };
    await sorted('Downloads', (a, b) => parseNumber(b.downloads) - parseNumber(a.downloads));
    await sorted('Date', (a, b) => parseShortDate(b.date) - parseShortDate(a.date));
    // The database orders titles by their bytes.
    await sorted('Title', (a, b) => Buffer.compare(Buffer.from(a.title), Buffer.from(b.title)));

    // The page bar: page 2, [NEXT], [PREVIOUS]; the current page is not a link.
    check((await page.locator('nav.pager').count()) === 1, 'area page: page bar present');
    const range1 = await page.textContent('p.range');
    check(/1 - 10/.test(range1), `page 1 range: ${range1}`);
    await clickAndWait(page, page.locator('nav.pager a', { hasText: /^2$/ }), 'page 2');
    check(page.url().endsWith('/page2-title.asp'), `page 2: ${page.url()}`);
    check(/11 - /.test(await page.textContent('p.range')), 'page 2 range');
    await clickAndWait(page, page.locator('nav.pager a', { hasText: '[PREVIOUS]' }), 'previous');
    check(page.url().endsWith('/page1-title.asp'), `previous: ${page.url()}`);
    check(
        (await page.locator('nav.pager a', { hasText: '[PREVIOUS]' }).count()) === 0,
        'page 1: [PREVIOUS] is not a link',
    );

    // Walk on with [NEXT] until the file shows up.
    let row = null;
    for (let guard = 0; guard < 50 && !row; ++guard) {
        row = (await rowsOf(page)).find((r) => r.title === targetText);
        if (!row) {
            const next = page.locator('nav.pager a', { hasText: '[NEXT]' });
            if (!check((await next.count()) === 1, 'the file is on some page of its area')) {
                break;
            }
            await clickAndWait(page, next, 'next');
        }
    }
    if (!row) {
        await context.close();
        report(problems, 'visitor');
        return;
    }

    // Detail page.
    await clickAndWait(page, page.locator('table.files th a', { hasText: targetText }), 'details');
    check((await page.textContent('h1')) === targetText, 'details: the title as text');
    const facts = await page.$$eval('dl.facts dt', (dts) => dts.map((dt) => dt.textContent));
    for (const fact of ['Size', 'Date', 'Downloads', 'Uploaded by']) {
        check(facts.includes(fact), `details: ${fact} shown`);
    }
    check(
        (await page.getAttribute('dl.facts a[href^="mailto:"]', 'href')) ===
            'mailto:o%27brien%2Bfiles%40example%2Eorg',
        'details: uploader mail link escaped',
    );
    const longText = await page.innerText('.longdesc');
    check(longText.split('\n').length >= 2, 'details: the long description keeps its line breaks');
    await screenshotBoth(browser, page.url(), 'detail');

    // Download page and the local file through its link.
    await clickAndWait(page, page.locator('a.button', { hasText: 'Download' }), 'download page');
    check(page.url().includes('/dorvale/download/'), `download page: ${page.url()}`);
    check((await page.textContent('h1')).includes(targetText), 'download page: heading');
    await screenshotBoth(browser, page.url(), 'download');
    const link = page.locator(LOCAL_DOWNLOAD_LINK);
    if (check((await link.count()) >= 1, 'download page: a local location with a link')) {
        await downloadAndCompare(page, link.first(), 'visitor');
    }
    report(problems, 'visitor');
    await context.close();
}

// The counted download link of a local location: through the visitors' service, which
// redirects to the file under its area's alias.
const LOCAL_DOWNLOAD_LINK = 'table.locations a[href^="/dorvale/do/download?"][href*="&url=local%3A%2F%2F"]';

// Clicks a download link and compares the bytes with the file in the area's directory.
async function downloadAndCompare(page, link, where) {
    const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
    const href = new URL(download.url()).pathname;
    const saved = path.join(os.tmpdir(), `dorvale-download-${process.pid}`);
    await download.saveAs(saved);
    // The seed publishes DIR/files/<area> as /downloads/<area>.
    const relative = decodeURIComponent(href.replace(/^\/downloads\//, ''));
    const original = path.join(LIBRARY_DIR, 'files', relative);
    const got = fs.readFileSync(saved);
    fs.unlinkSync(saved);
    if (check(fs.existsSync(original), `${where}: ${original} exists`)) {
        check(Buffer.compare(got, fs.readFileSync(original)) === 0,
            `${where}: downloaded bytes of ${href} equal ${original}`);
    }
}

// Every local file of the awkward texts downloads through its link, whatever its name.
async function awkwardDownloads(browser) {
    const context = await browser.newContext({ ...DESKTOP, acceptDownloads: true });
    const page = await context.newPage();
    const problems = watch(page);
    let tried = 0;
    for (const rel of walk(path.join(SITE_ROOT, 'download'))) {
        const html = fs.readFileSync(path.join(SITE_ROOT, 'download', rel), 'utf8');
        const special = /url=local%3A%2F%2F\d+%2F[^"]*%(?!2D|2E)/.test(html);
        if (!special) {
            continue;
        }
        await page.goto(urlOf(`download/${rel}`));
        await downloadAndCompare(page, page.locator(LOCAL_DOWNLOAD_LINK).first(), `download/${rel}`);
        ++tried;
    }
    check(tried >= 6, `local files with escaped names downloaded: ${tried}`);
    report(problems, 'downloads');
    await context.close();
}

// ---- Every page ----

async function everyPage(browser) {
    const context = await browser.newContext(PHONE);
    const page = await context.newPage();
    const problems = watch(page);
    const pages = walk(SITE_ROOT).filter(isWholePage).sort();
    check(pages.length > 100, `generated pages found: ${pages.length}`);
    const visited = new Set();
    const links = new Map(); // target URL → first page linking it
    for (const rel of pages) {
        const url = urlOf(rel);
        const response = await page.goto(url);
        visited.add(new URL(url).pathname);
        if (!check(response && response.status() === 200, `${rel}: HTTP ${response && response.status()}`)) {
            continue;
        }
        checkServedHtml(await response.text(), rel);
        const shape = await page.evaluate(() => ({
            h1: document.querySelectorAll('h1').length,
            main: document.querySelectorAll('main').length,
            lang: document.documentElement.lang,
            title: document.title,
            scripts: document.querySelectorAll('script').length,
            handlers: document.querySelectorAll('[onerror],[onload],[onclick]').length,
            wide: document.documentElement.scrollWidth - window.innerWidth,
            missingAlt: document.querySelectorAll('img:not([alt])').length,
            hrefs: [...document.querySelectorAll('a[href], link[href]')].map((a) => a.href),
            srcs: [...document.querySelectorAll('img[src]')].map((i) => i.src),
            ids: [...document.querySelectorAll('[id]')].map((e) => e.id),
        }));
        check(shape.h1 === 1, `${rel}: ${shape.h1} h1 headings`);
        check(shape.main === 1, `${rel}: ${shape.main} main landmarks`);
        check(shape.lang === 'en', `${rel}: html lang`);
        check(shape.title.length > 0, `${rel}: a title`);
        check(shape.scripts === 0 && shape.handlers === 0, `${rel}: markup from the catalogue became elements`);
        check(shape.wide <= 0, `${rel}: ${shape.wide}px wider than a phone screen`);
        check(shape.missingAlt === 0, `${rel}: images without alt text`);
        for (const href of [...shape.hrefs, ...shape.srcs]) {
            const target = new URL(href);
            if (target.origin !== SITE_URL) {
                continue; // mailto: and the web mirrors
            }
            if (target.hash && target.pathname === new URL(url).pathname) {
                check(shape.ids.includes(decodeURIComponent(target.hash.slice(1))), `${rel}: no target for ${target.hash}`);
            }
            target.hash = '';
            if (!links.has(target.href)) {
                links.set(target.href, rel);
            }
        }
        report(problems, rel);
    }
    // Links to what was not visited as a page: other pages, assets, local files.
    let checked = 0;
    for (const [link, from] of links) {
        const pathname = new URL(link).pathname;
        if (visited.has(decodeURIComponent(pathname)) || visited.has(pathname)) {
            continue;
        }
        const response = await context.request.get(link, { maxRedirects: 0 });
        // A counted download answers with a redirect to the file.
        const counted = pathname === '/dorvale/do/download' && response.status() === 302 &&
            response.headers()['location'];
        check(response.status() === 200 || counted,
            `broken link ${link} on ${from}: HTTP ${response.status()}`);
        ++checked;
    }
    // Every page linked from a page was generated, and every page is visited.
    console.log(`visited ${pages.length} pages; checked ${links.size} distinct internal links (${checked} by request)`);
    await context.close();
}

// ---- Markup in catalogue texts ----

async function markupStaysText(browser) {
    const context = await browser.newContext(DESKTOP);
    const page = await context.newPage();
    const problems = watch(page);
    const marker = '<script>document.title=\'injected\';window.dorvaleInjected=1</script>Markup Tester';
    let detail = null;
    for (const rel of walk(path.join(SITE_ROOT, 'details'))) {
        if (fs.readFileSync(path.join(SITE_ROOT, 'details', rel), 'utf8').includes('&lt;script&gt;document.title')) {
            detail = rel;
        }
    }
    if (!check(detail, 'the file with markup in its title has a detail page')) {
        await context.close();
        return;
    }
    for (const rel of [`details/${detail}`, `download/${detail}`]) {
        await page.goto(urlOf(rel));
        const seen = await page.evaluate(() => ({
            injected: typeof window.dorvaleInjected,
            title: document.title,
            h1: document.querySelector('h1').textContent,
            scripts: document.querySelectorAll('script').length,
            images: document.querySelectorAll('main img').length,
            bold: document.querySelectorAll('main b').length,
        }));
        check(seen.injected === 'undefined', `${rel}: script from a title ran`);
        check(seen.title.startsWith(rel.startsWith('download') ? `Download ${marker}` : marker), `${rel}: title shows the markup as text (${seen.title})`);
        check(seen.h1.includes(marker), `${rel}: heading shows the markup as text`);
        check(seen.scripts === 0 && seen.images === 0 && seen.bold === 0, `${rel}: markup became elements`);
    }
    const longdesc = await page.goto(urlOf(`details/${detail}`)).then(() => page.innerText('.longdesc'));
    check(longdesc.includes('<img src=x onerror="window.dorvaleInjected=2">'), 'long description shows its markup as text');
    report(problems, 'markup');
    await context.close();
}

// ---- Screenshots ----

async function screenshotBoth(browser, url, name) {
    for (const [kind, options] of [['desktop', DESKTOP], ['phone', PHONE]]) {
        const context = await browser.newContext(options);
        const page = await context.newPage();
        const problems = watch(page);
        await page.goto(url);
        const file = path.join(SHOTS, `${name}-${kind}.png`);
        await page.screenshot({ path: file, fullPage: true });
        report(problems, `screenshot ${name}-${kind}`);
        await context.close();
    }
}

// ---- Run ----

(async () => {
    fs.mkdirSync(SHOTS, { recursive: true });
    const browser = await chromium.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        args: [
            '--headless',
            '--no-sandbox',
            '--disable-gpu',
            '--disable-quic',
            '--no-first-run',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
        ],
    });
    try {
        await screenshotBoth(browser, `${SITE_URL}/dorvale/index.asp`, 'index');
        const steps = [
            ['a visitor\'s way', visitorsWay],
            ['markup stays text', markupStaysText],
            ['local downloads', awkwardDownloads],
            ['every page', everyPage],
        ];
        for (const [name, step] of steps) {
            const before = failures.length;
            try {
                await step(browser);
            } catch (error) {
                fail(`${name}: ${error.stack || error}`);
            }
            console.log(`${failures.length === before ? 'ok  ' : 'FAIL'} ${name}`);
        }
    } finally {
        await browser.close();
    }
    console.log(`screenshots in ${SHOTS}`);
    if (failures.length) {
        console.error(`${failures.length} failures`);
        process.exit(1);
    }
})().catch((error) => {
    console.error(error);
    process.exit(1);
});
