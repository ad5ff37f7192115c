// Which built-in profile describes an attached device. The device list gives the firmware key
// ("Version", e.g. "QZK-ZMC-V1.1.0"), its family prefix ("QZVersion", e.g. "QZK") and the path,
// which holds the USB id ("vid_258a&pid_001a"). Each built-in profile names the USB id and the
// firmware it was made for. The rule:
//   1. only profiles whose firmware starts with the device's family prefix and whose product
//      part (the text before "-V", "QZK-ZMC" for mice, "QZK-ZKC" for keyboards) equals the
//      device's are candidates;
//   2. among them, a profile with the same USB id scores 2, with the same whole firmware text
//      scores 1 more; the highest score wins and ties go to the earlier profile in the list;
//   3. no candidate: the device is not one the pages know, and they say so.
import type { DeviceInfo } from '../bridge/protocol';

// Built-in profiles, in order of preference on a tie.
export const PROFILE_NAMES = ['MA1', 'MA2', 'MG1', 'MG1En', 'MG3En', 'KB1'] as const;

export interface ProfileIdentity {
  name: string;
  usbId: string;
  firmware: string;
}

export function usbIdFromPath(path: string): string {
  const m = /vid_([0-9a-f]{4})&pid_([0-9a-f]{4})/i.exec(path);
  return m ? (m[1] + m[2]).toLowerCase() : '';
}

export function productOf(firmware: string): string {
  const i = firmware.indexOf('-V');
  return i > 0 ? firmware.slice(0, i) : firmware;
}

export function chooseProfile(device: DeviceInfo, profiles: ProfileIdentity[]): string | null {
  const usbId = usbIdFromPath(device.DevicePath);
  const prefix = device.QZVersion ?? '';
  const product = productOf(device.Version ?? '');
  let best: string | null = null;
  let bestScore = -1;
  for (const p of profiles) {
    if (!prefix || !p.firmware.startsWith(prefix) || productOf(p.firmware) !== product) continue;
    const score = (p.usbId === usbId ? 2 : 0) + (p.firmware === device.Version ? 1 : 0);
    if (score > bestScore) {
      best = p.name;
      bestScore = score;
    }
  }
  return best;
}

// A stable name for a device model in file names and storage keys.
export function deviceId(device: DeviceInfo): string {
  const raw = `${usbIdFromPath(device.DevicePath) || 'usb'}-${device.Version || 'device'}`;
  return raw.replace(/[^A-Za-z0-9._-]/g, '_');
}
