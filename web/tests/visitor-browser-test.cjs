// A visitor's side of the site in headless Chromium, the administrator answering with the
// dorvale command in between, in one walk:
//  - a review written on a file's page, posted by `dorvale reviews post`, shown on the page;
//  - a file uploaded over HTTP, posted by `dorvale uploads post`, listed on its area's page
//    after `dorvale generate`;
//  - a file downloaded ten times: its count moves by ten once the service has written it, and
//    after `dorvale generate` it leads the most popular files;
//  - a file submission sent with the "Submit a file" form, received by the SMTP test server,
//    and accepted by `dorvale add-file --submission`;
//  - a word typed into a generated page's search box, the index server's page listing the
//    file that holds it, in the site's frame;
//  - the new pages' screenshots, markup from the forms shown as text.
// Started by visitor-browser-test.sh, which builds and serves the site.
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const env = (name) => {
    const value = process.env[name];
    if (!value) {
        console.error(`visitor-browser-test: ${name} is not set (run visitor-browser-test.sh)`);
        process.exit(2);
    }
    return value;
};
const SITE_URL = env('DORVALE_SITE_URL');
const BIN = env('DORVALE_BIN');
const ADMIN = env('DORVALE_ADMIN_EMAIL');
const SHOTS = env('DORVALE_SCREENSHOTS');
const SPOOL = env('DORVALE_SMTP_SPOOL');
const { chromium } = require(path.join(env('DORVALE_NODE_MODULES'), 'playwright-core'));

const failures = [];
function check(condition, message) {
    if (!condition) {
        failures.push(message);
        console.error(`FAIL ${message}`);
    }
    return condition;
}

function dorvale(...args) {
    return execFileSync(path.join(BIN, 'dorvale'), args, { encoding: 'utf8' });
}
function dorvaleJson(...args) {
    return JSON.parse(dorvale(...args, '--json'));
}

async function shot(page, name) {
    await page.screenshot({ path: path.join(SHOTS, `${name}.png`), fullPage: true });
}

async function waitFor(what, test, seconds = 15) {
    for (let i = 0; i < seconds * 10; ++i) {
        if (test()) {
            return true;
        }
        await new Promise((resolve) => setTimeout(resolve, 100));
    }
    return check(false, `${what} did not happen within ${seconds} s`);
}

async function main() {
    const browser = await chromium.launch({
        executablePath: process.env.CHROMIUM,
        args: ['--no-sandbox'],
    });
    const context = await browser.newContext({
        viewport: { width: 1280, height: 900 },
        acceptDownloads: true,
    });
    const page = await context.newPage();
    page.on('console', (message) => {
        if (message.type() === 'error') {
            check(false, `console error on ${page.url()}: ${message.text()}`);
        }
    });

    const areas = dorvaleJson('areas');
    const uploadArea = areas.find((a) => a.uploadable);
    const hosted = areas.find((a) => a.hostedLocally);
    check(uploadArea, 'an area takes uploads');
    const files = dorvaleJson('files', String(hosted.id));
    const file = files[0];
    const detail = `${SITE_URL}/dorvale/details/${file.id}.asp`;

    // ---- A review: written, moderated, shown ----
    await page.goto(detail);
    check((await page.textContent('#reviews + *')).includes('No reviews yet'), 'no reviews at first');
    await shot(page, 'detail-with-review-form');
    await page.fill('#review-name', 'Ann <b>Reviewer</b>');
    await page.fill('#review-email', 'ann@example.org');
    await page.fill('#review-text', 'Works well.\nSecond line & more.');
    await Promise.all([page.waitForNavigation(), page.click('#write-review button')]);
    check((await page.textContent('h1')).includes('Thank you for your review'), 'review thanked');
    await shot(page, 'review-thanks');
    const waiting = dorvaleJson('reviews');
    check(waiting.length === 1 && waiting[0].fileId === file.id, 'one submission waits');
    dorvale('reviews', 'post', '--all', '--yes');
    await page.goto(detail);
    const reviews = await page.textContent('.review-list');
    check(reviews.includes('Ann <b>Reviewer</b>'), 'the posted review shows, its markup as text');
    check(reviews.includes('Second line & more.'), 'the review text shows');
    check((await page.$$('.review-list b')).length === 0, 'no markup from a review reached the page');
    await shot(page, 'detail-with-review');

    // ---- An upload: sent, posted, listed ----
    await page.goto(`${SITE_URL}/dorvale/do/upload`);
    await shot(page, 'upload-form');
    await page.selectOption('#area', String(uploadArea.id));
    await page.fill('#title', 'Visitor Upload');
    await page.fill('#shortdesc', 'Sent through the web form');
    await page.fill('#email', 'uploader@example.org');
    await page.setInputFiles('#file', {
        name: 'visitor-upload.zip',
        mimeType: 'application/zip',
        buffer: Buffer.from('PK\x05\x06' + '\0'.repeat(18), 'binary'),
    });
    await Promise.all([page.waitForNavigation(), page.click('main form button[type=submit]')]);
    check((await page.textContent('h1')).includes('Thank you for your upload'), 'upload thanked');
    await shot(page, 'upload-thanks');
    check(dorvaleJson('uploads').length === 1, 'one upload waits');
    dorvale('uploads', 'post', '--all', '--yes');
    dorvale('generate');
    const groups = dorvaleJson('groups');
    const group = groups.find((g) => g.areas.some((a) => a.id === uploadArea.id));
    await page.goto(
        `${SITE_URL}/dorvale/files/${encodeURIComponent(group.name)}/${uploadArea.id}/page1-date.asp`
    );
    check((await page.textContent('main')).includes('Visitor Upload'), 'the area lists the upload');

    // ---- Downloads: ten clicks, counted, most popular ----
    const before = dorvaleJson('file', 'show', String(file.id)).downloads;
    await page.goto(`${SITE_URL}/dorvale/download/${file.id}.asp`);
    await shot(page, 'download-page');
    const link = page.locator('a.button', { hasText: 'Download' }).first();
    check((await link.getAttribute('href')).startsWith('/dorvale/do/download?file='),
        'the download link goes through the service');
    for (let i = 0; i < 10; ++i) {
        const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
        check(fs.statSync(await download.path()).size > 0, `download ${i + 1} arrived`);
    }
    await waitFor('the ten downloads being counted', () =>
        dorvaleJson('file', 'show', String(file.id)).downloads === before + 10);
    dorvale('generate');
    await page.goto(`${SITE_URL}/dorvale/files/%7Etop/popular/page1-downloads.asp`);
    const firstRow = await page.locator('main table tbody tr').first().textContent();
    check(firstRow.includes(file.title), `"${file.title}" leads the most popular files`);
    await shot(page, 'most-popular');

    // ---- A file submission: sent, mailed, accepted ----
    await page.goto(`${SITE_URL}/dorvale/do/submit`);
    await shot(page, 'submit-form');
    await page.fill('#title', 'Submitted Tool');
    await page.fill('#version', '3.2');
    await page.fill('#date', '2024-05-06');
    await page.fill('#shortdesc', 'A tool someone told us about');
    await page.fill('#description', 'First line.\nSecond line.');
    await page.fill('#siteurl1', 'http://tools.example.org/submitted.zip');
    await page.fill('#company', 'Example Tools');
    await page.fill('#email', 'author@example.org');
    await Promise.all([page.waitForNavigation(), page.click('main form button[type=submit]')]);
    check((await page.textContent('h1')).includes('Thank you for your submission'), 'submission thanked');
    await shot(page, 'submit-thanks');
    const mail = path.join(SPOOL, `${ADMIN}.data`);
    if (await waitFor('the submission mail arriving', () => fs.existsSync(mail))) {
        const message = fs.readFileSync(mail, 'utf8');
        const body = message.slice(message.indexOf('\r\n\r\n') + 4);
        const submission = path.join(path.dirname(SHOTS), 'visitor-browser', 'submission.txt');
        fs.writeFileSync(submission, body);
        dorvale('add-file', '--submission', submission, '--area', String(hosted.id), '--yes');
        const found = dorvaleJson('search', 'Submitted Tool');
        check(found.length === 1, 'the submitted file is in the catalogue');
        if (found.length === 1) {
            const added = dorvaleJson('file', 'show', String(found[0].id));
            check(added.locations.includes('http://tools.example.org/submitted.zip'),
                'with the submitted address');
            check(added.version === '3.2' && added.email === 'author@example.org',
                'with the submitted details');
        }
    }

    // ---- The site search: a word typed into a generated page's search box ----
    // The administrator's part, as Dorvale Setup's Index Server button does it: the area's
    // alias a virtual root of the web server, and the index server told to index it.
    execFileSync(path.join(BIN, 'dorvale-reg'), ['set',
        'HKLM\\System\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots',
        hosted.httpAlias, 'REG_SZ', `${hosted.path},,1`]);
    const root = encodeURIComponent(hosted.httpAlias);
    const update = await fetch(`${SITE_URL}/dorvaleindex/admin.ida`, {
        method: 'POST',
        headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
        body: `PROOT_${root}=${encodeURIComponent(hosted.path)}&INDEX_${root}=`,
    });
    check(update.ok, `the index server took the update (${update.status})`);
    const stored = dorvaleJson('file', 'show', String(file.id)).locations[0];
    const address = `${hosted.httpAlias}/${stored.slice(stored.lastIndexOf('/') + 1)}`;
    const word = file.title.split(' ')[0];
    await page.goto(`${SITE_URL}/dorvale/index.asp`);
    const box = page.locator('header form.search input[name=q]');
    await box.fill(word);
    await Promise.all([page.waitForNavigation(), box.press('Enter')]);
    check(page.url().startsWith(`${SITE_URL}/dorvaleindex/QueryHit.idq?q=`),
        `the search box leads to the index server (${page.url()})`);
    check((await page.locator(`ol.hits a.hit-title[href="${address}"]`).count()) === 1,
        `the results list ${address} for "${word}"`);
    check((await box.inputValue()) === word, 'the results page keeps the words in its box');
    check((await page.locator('header a[href="/dorvale/do/submit"]').count()) === 1,
        'the results page has the site\'s "Submit a file" link');
    await shot(page, 'search-results');

    await browser.close();
    if (failures.length > 0) {
        console.error(`visitor-browser-test: ${failures.length} failures`);
        process.exit(1);
    }
    console.log('visitor-browser-test: every step passed');
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
