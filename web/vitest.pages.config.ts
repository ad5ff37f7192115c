import { defineConfig } from 'vitest/config';

// Page tests share one browser per file; files run one at a time (the machine has two cores).
export default defineConfig({
  test: {
    include: ['test/pages/**/*.test.ts'],
    pool: 'forks',
    poolOptions: { forks: { singleFork: true } },
    testTimeout: 30000,
    hookTimeout: 60000,
  },
});
