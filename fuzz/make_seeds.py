#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz corpus (the rest of the corpus came from fuzzing).

Usage: fuzz/make_seeds.py   (from the repository top or from fuzz/)
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def head(major, n):
    if n < 24:
        return bytes([major << 5 | n])
    for add, fmt in ((24, '>B'), (25, '>H'), (26, '>I'), (27, '>Q')):
        if n < 1 << (8 * struct.calcsize(fmt)):
            return bytes([major << 5 | add]) + struct.pack(fmt, n)
    raise ValueError(n)


def cbor(v):
    if isinstance(v, bool):
        return b'\xf5' if v else b'\xf4'
    if isinstance(v, int):
        return head(0, v) if v >= 0 else head(1, -1 - v)
    if isinstance(v, str):
        b = v.encode()
        return head(3, len(b)) + b
    if isinstance(v, bytes):
        return head(2, len(v)) + v
    if isinstance(v, list):
        return head(4, len(v)) + b''.join(cbor(x) for x in v)
    if isinstance(v, dict):
        return head(5, len(v)) + b''.join(cbor(k) + cbor(x) for k, x in v.items())
    if isinstance(v, tuple) and v[0] == 'date':
        return b'\xc0' + cbor(v[1])
    raise TypeError(v)


def frame(payload):
    return str(len(payload) + 11).ljust(10).encode() + b'+' + payload


person = {'First': 'Ann', 'Last': '', 'Email': [{'work': 'a@b.c'}, {'work': 'd@e.f'}],
          'Address': [{'home': {'Street': 'Hauptstraße 1', 'City': 'Köln'}}],
          'Birthday': ('date', '1996-04-15T12:00:00Z'), 'Count': -5, 'Photo': b'\x00\xff'}
messages = {
    'keys': {'type': 'keys', 'Keys1': 1804289383},
    'sendab': {'type': 'sendAB'},
    'ab': {'type': 'AB', 'release': '1.1.1', 'product': 'zorbix Rendezvous',
           'pData': {1: 'Ann', 2: 'Lee', 3: '', -7: 'x'}, 'ABData': [person, {'First': 'Bob'}]},
    'ab_empty': {'type': 'AB', 'ABData': [], 'pData': {}},
    'other_type': {'type': 7},
}
archive = {name: cbor(m) for name, m in messages.items()}
archive.update({
    'indefinite': b'\xbf\x64type\x7f\x62ke\x62ys\xff\x61a\x9f\x01\x02\xff\xff',
    'floats': cbor({'h': 1}) [:-1] + b'\xf9\x3c\x00',
    'deep': b'\xa1\x61a' + b'\x81' * 40 + b'\x00',
    'trailing': archive['keys'] + b'\x00',
    'list_top': cbor(['type', 'keys']),
    'dup_key': b'\xa2\x61x\x01\x61x\x02',
})
pool = {
    'keys_then_sendab': b'\x00\x07' + frame(archive['keys']) + frame(archive['sendab']),
    'ab_one_byte_chunks': b'\x00\x00' + frame(archive['ab']),
    'no_digits': b'\x12\x34GET / HTTP/1.0\r\n\r\n',
    'short_lengths': b'\x01\x01' + b'5         +abcdef',
    'negative': b'\x02\x02-20       +' + b'x' * 30,
    'huge': b'\x03\x03' + b'9999999999+abc',
    'empty_payload': b'\x04\x04' + frame(b'') + frame(archive['keys']),
    'split_header': b'\xff\xff' + frame(archive['ab_empty']) * 3,
}
for sub, items in (('archive', archive), ('pool', pool)):
    os.makedirs(os.path.join(HERE, 'corpus', sub), exist_ok=True)
    for name, data in items.items():
        with open(os.path.join(HERE, 'corpus', sub, 'seed_' + name), 'wb') as f:
            f.write(data)
