// End-to-end tests of the editor page in Debian's chromium (no browser is
// downloaded: PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 at install).  The page is
// served from build-web/ on the loopback address only.
import { defineConfig } from '@playwright/test';

const port = Number(process.env.KTVEC_WEB_PORT || 8731);

export default defineConfig({
  testDir: 'tests',
  timeout: 90_000,
  workers: 1,
  reporter: [['list']],
  outputDir: '../build-web/test-results',
  use: {
    baseURL: `http://127.0.0.1:${port}/`,
    viewport: { width: 1400, height: 900 },
    acceptDownloads: true,
    launchOptions: {
      executablePath: process.env.KTVEC_CHROMIUM || '/usr/bin/chromium',
      // The network here is closed: without these chromium's own background
      // connections are refused and slow every start.
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    },
  },
  webServer: {
    command: `python3 -m http.server ${port} --bind 127.0.0.1`,
    cwd: '../build-web',
    url: `http://127.0.0.1:${port}/index.html`,
    reuseExistingServer: false,
    stdout: 'ignore',
    stderr: 'ignore',
  },
});
