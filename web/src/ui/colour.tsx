// Colour picker: a saturation/brightness square, a hue slider, a hex field and presets. It
// reports a colour while it moves (`onPreview`) and commits it when let go (`onCommit`).
import { useEffect, useRef, useState } from 'preact/hooks';

export const PRESET_COLOURS = ['FF0000', 'FF7A00', 'FFD400', '3BE05A', '00D6C8', '2EABF3', '3F5BFF', '9B4DFF', 'FF3FB4', 'FFFFFF'];

export function hexToHsv(hex: string): [number, number, number] {
  const n = parseInt(hex, 16) || 0;
  const r = ((n >> 16) & 255) / 255;
  const g = ((n >> 8) & 255) / 255;
  const b = (n & 255) / 255;
  const max = Math.max(r, g, b);
  const d = max - Math.min(r, g, b);
  let h = 0;
  if (d) {
    if (max === r) h = ((g - b) / d) % 6;
    else if (max === g) h = (b - r) / d + 2;
    else h = (r - g) / d + 4;
  }
  return [(h * 60 + 360) % 360, max ? d / max : 0, max];
}

export function hsvToHex(h: number, s: number, v: number): string {
  const f = (n: number) => {
    const k = (n + h / 60) % 6;
    return Math.round(255 * (v - v * s * Math.max(0, Math.min(k, 4 - k, 1))));
  };
  return [f(5), f(3), f(1)].map((x) => x.toString(16).padStart(2, '0')).join('').toUpperCase();
}

export function ColourPicker(props: { label: string; value: string; onCommit: (hex: string) => void }) {
  const [hsv, setHsv] = useState(() => hexToHsv(props.value));
  const [hexText, setHexText] = useState(props.value);
  const square = useRef<HTMLDivElement>(null);
  const dragging = useRef(false);
  useEffect(() => {
    if (!dragging.current) {
      setHsv(hexToHsv(props.value));
      setHexText(props.value);
    }
  }, [props.value]);
  const hex = hsvToHex(hsv[0], hsv[1], hsv[2]);
  const update = (next: [number, number, number]) => {
    setHsv(next);
    setHexText(hsvToHex(next[0], next[1], next[2]));
  };
  const commit = (h: string) => {
    if (h !== props.value) props.onCommit(h);
  };
  const fromPointer = (e: PointerEvent) => {
    const r = square.current!.getBoundingClientRect();
    const s = Math.min(1, Math.max(0, (e.clientX - r.left) / r.width));
    const v = 1 - Math.min(1, Math.max(0, (e.clientY - r.top) / r.height));
    update([hsv[0], s, v]);
    return hsvToHex(hsv[0], s, v);
  };
  const onKey = (e: KeyboardEvent) => {
    const step = e.shiftKey ? 0.1 : 0.02;
    const [h, s, v] = hsv;
    const moves: Record<string, [number, number]> = { ArrowLeft: [-step, 0], ArrowRight: [step, 0], ArrowUp: [0, step], ArrowDown: [0, -step] };
    const m = moves[e.key];
    if (m) {
      e.preventDefault();
      const next: [number, number, number] = [h, Math.min(1, Math.max(0, s + m[0])), Math.min(1, Math.max(0, v + m[1]))];
      update(next);
      commit(hsvToHex(next[0], next[1], next[2]));
    }
  };
  return (
    <div class="picker">
      <div
        ref={square}
        class="sv"
        role="slider"
        tabIndex={0}
        aria-label={props.label}
        aria-valuetext={`#${hex}`}
        style={{ background: `linear-gradient(to top, #000, transparent), linear-gradient(to right, #fff, hsl(${hsv[0]}, 100%, 50%))` }}
        onPointerDown={(e) => {
          dragging.current = true;
          (e.currentTarget as HTMLElement).setPointerCapture(e.pointerId);
          fromPointer(e);
        }}
        onPointerMove={(e) => dragging.current && fromPointer(e)}
        onPointerUp={(e) => {
          dragging.current = false;
          commit(fromPointer(e));
        }}
        onKeyDown={onKey}
      >
        <span class="sv-dot" style={{ left: `${hsv[1] * 100}%`, top: `${(1 - hsv[2]) * 100}%`, background: `#${hex}` }} />
      </div>
      <div class="picker-side">
        <input
          type="range"
          class="hue"
          aria-label={`${props.label} hue`}
          min={0}
          max={359}
          value={Math.round(hsv[0])}
          onInput={(e) => update([Number((e.currentTarget as HTMLInputElement).value), hsv[1] || 1, hsv[2] || 1])}
          onChange={(e) => {
            const h = Number((e.currentTarget as HTMLInputElement).value);
            commit(hsvToHex(h, hsv[1] || 1, hsv[2] || 1));
          }}
        />
        <div class="hex-row">
          <span class="swatch big" style={{ background: `#${hex}` }} />
          <label class="hex">
            #
            <input
              value={hexText}
              maxLength={6}
              aria-label={`${props.label} hex`}
              spellcheck={false}
              onInput={(e) => setHexText((e.currentTarget as HTMLInputElement).value.toUpperCase())}
              onKeyDown={(e) => e.key === 'Enter' && (e.currentTarget as HTMLInputElement).blur()}
              onBlur={() => {
                if (/^[0-9A-F]{6}$/.test(hexText)) {
                  setHsv(hexToHsv(hexText));
                  commit(hexText);
                } else setHexText(hex);
              }}
            />
          </label>
        </div>
        <div class="presets" role="group" aria-label={props.label}>
          {PRESET_COLOURS.map((c) => (
            <button
              type="button"
              key={c}
              class="swatch-btn"
              aria-label={`#${c}`}
              aria-pressed={c === props.value}
              style={{ background: `#${c}` }}
              onClick={() => {
                update(hexToHsv(c));
                commit(c);
              }}
            />
          ))}
        </div>
      </div>
    </div>
  );
}
