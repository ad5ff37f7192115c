// Page language: English when the client's language is English (any region), Chinese for
// every other language, as the client itself decides.
import { en } from './en';
import { zh } from './zh';

export type Locale = 'zh' | 'en';
export type Strings = typeof en;

export function detectLocale(languages: readonly string[] | undefined, language: string | undefined): Locale {
  const first = (languages && languages.length ? languages[0] : language) ?? '';
  return /^en\b/i.test(first) ? 'en' : 'zh';
}

export function stringsFor(locale: Locale): Strings {
  return locale === 'en' ? en : zh;
}

// Fills {name} placeholders.
export function fmt(text: string, values: Record<string, string | number>): string {
  return text.replace(/\{(\w+)\}/g, (m, k: string) => (k in values ? String(values[k]) : m));
}
