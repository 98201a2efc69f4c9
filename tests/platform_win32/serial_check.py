#!/usr/bin/env python3
"""Runs the Win32 suite's line tests (SerialWin32Line.*) under Wine against a pseudo-terminal.

Makes a pseudo-terminal pair, maps a COM port of the Wine prefix to its slave side (registry key
HKLM\\Software\\Wine\\Ports, then a restart of that prefix's wineserver), plays the peer on the
master side, and runs the test program with QUORIN_WIN32_TEST_PORT naming the port.

    tests/platform_win32/serial_check.py [test_os_win32.exe] [--port COM5] [--prefix DIR]

The prefix defaults to build-win/wine-prefix-serial, a prefix of its own: its wineserver is
restarted, which would break Wine programs running in a shared prefix. The peer answers lines:
  SPEED             "SPEED <bits per second>" as the Linux side's termios holds it
  ECHO <text>       <text>
  LATER <ms> <text> <text> after ms milliseconds
  BURST <n>         n bytes, byte i being (i * 7 + 1) & 0xFF
  BYE               closes the master side: the line hangs up
"""
import argparse
import os
import select
import subprocess
import sys
import termios
import threading
import time
import tty

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

SPEEDS = {getattr(termios, name): int(name[1:]) for name in dir(termios)
          if name.startswith('B') and name[1:].isdigit()}


def peer(master, slave_path, log):
    pending = b''
    while True:
        try:
            ready, _, _ = select.select([master], [], [], 0.5)
            if not ready:
                continue
            data = os.read(master, 4096)
        except OSError:
            continue  # no slave open yet (between the test's openings)
        pending += data
        while b'\n' in pending:
            line, pending = pending.split(b'\n', 1)
            words = line.split(b' ', 2)
            log.write('peer got %r\n' % line[:60])
            if words[0] == b'SPEED':
                fd = os.open(slave_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
                speed = SPEEDS.get(termios.tcgetattr(fd)[5], 0)
                os.close(fd)
                os.write(master, b'SPEED %d\n' % speed)
            elif words[0] == b'ECHO':
                os.write(master, line[5:] + b'\n')
            elif words[0] == b'LATER':
                time.sleep(int(words[1]) / 1000.0)
                os.write(master, words[2] + b'\n')
            elif words[0] == b'BURST':
                n = int(words[1])
                data = bytes((i * 7 + 1) & 0xFF for i in range(n))
                view = memoryview(data)
                while view:
                    _, writable, _ = select.select([], [master], [], 10)
                    if not writable:
                        log.write('peer: burst stalled\n')
                        break
                    view = view[os.write(master, view[:4096]):]
            elif words[0] == b'BYE':
                os.close(master)
                log.write('peer closed the master side\n')
                return


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('exe', nargs='?',
                        default=os.path.join(TOP, 'build-win/tests/win32/test_os_win32.exe'))
    parser.add_argument('--port', default='COM5')
    parser.add_argument('--prefix', default=os.path.join(TOP, 'build-win/wine-prefix-serial'))
    parser.add_argument('--filter', default='SerialWin32Line.*')
    args = parser.parse_args()

    env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG=os.environ.get('WINEDEBUG', '-all'),
               WINEDLLOVERRIDES='mscoree,mshtml=')
    if not os.path.exists(os.path.join(args.prefix, 'system.reg')):
        os.makedirs(args.prefix, exist_ok=True)
        subprocess.run(['wineboot', '-i'], env=env, capture_output=True)
    master, slave = os.openpty()
    slave_path = os.ttyname(slave)
    tty.setraw(master)
    tty.setraw(slave)
    subprocess.run(['wine', 'reg', 'add', r'HKLM\Software\Wine\Ports', '/v', args.port,
                    '/t', 'REG_SZ', '/d', slave_path, '/f'], env=env, capture_output=True, check=True)
    subprocess.run(['wineserver', '-k'], env=env, capture_output=True)
    subprocess.run(['wineserver', '-w'], env=env, capture_output=True)
    # The slave stays open here too: the test's closing and reopening never hangs the line up.
    print('%s is %s' % (args.port, slave_path), flush=True)

    log = sys.stderr
    threading.Thread(target=peer, args=(master, slave_path, log), daemon=True).start()
    test_env = dict(env, QUORIN_WIN32_TEST_PORT=args.port)
    result = subprocess.run(['wine', args.exe, '--gtest_filter=' + args.filter], env=test_env)
    subprocess.run(['wineserver', '-k'], env=env, capture_output=True)
    return result.returncode


if __name__ == '__main__':
    sys.exit(main())
