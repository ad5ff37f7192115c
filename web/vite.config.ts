// Builds the pages into one self-contained client.html (script and styles inlined) for the
// engine's Chromium 87: one request at start, and no module script on the client's own scheme.
import { defineConfig, type Plugin } from 'vite';

declare const process: { env: Record<string, string | undefined> };

const TARGET = 'chrome87';

function inlineIntoHtml(): Plugin {
  return {
    name: 'kf-inline',
    enforce: 'post',
    generateBundle(_options, bundle) {
      const html = Object.values(bundle).find((f) => f.type === 'asset' && f.fileName.endsWith('.html'));
      if (!html || html.type !== 'asset') return;
      let text = String(html.source);
      for (const [name, file] of Object.entries(bundle)) {
        if (file.type === 'chunk' && file.isEntry) {
          const code = file.code.replace(/<\/script/gi, '<\\/script');
          text = text.replace(new RegExp(`<script[^>]*src="[^"]*${file.fileName}"[^>]*></script>`), '');
          // A function, so "$&" and the like in the code are not read as replacement patterns.
          text = text.replace('</body>', () => `<script>${code}</script>\n</body>`);
          delete bundle[name];
        } else if (file.type === 'asset' && file.fileName.endsWith('.css')) {
          text = text.replace(new RegExp(`<link[^>]*href="[^"]*${file.fileName}"[^>]*>`), '');
          text = text.replace('</head>', () => `<style>${String(file.source)}</style>\n</head>`);
          delete bundle[name];
        }
      }
      html.source = text;
    },
  };
}

export default defineConfig({
  base: './',
  esbuild: { jsx: 'automatic', jsxImportSource: 'preact', target: TARGET },
  build: {
    target: TARGET,
    cssTarget: TARGET,
    outDir: process.env.KF_WEB_OUT ?? 'dist/black',
    emptyOutDir: true,
    modulePreload: false,
    assetsInlineLimit: 100000,
    cssCodeSplit: false,
    reportCompressedSize: false,
    rollupOptions: {
      input: 'client.html',
      output: { format: 'iife', inlineDynamicImports: true },
    },
  },
  plugins: [inlineIntoHtml()],
});
