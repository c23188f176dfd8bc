"""Prints a template list reply (XML, already UTF-8) as a readable table."""
import re
import sys
import xml.etree.ElementTree as ET

text = sys.stdin.read()
text = re.sub(r'^<\?xml[^>]*\?>', '', text.strip())
try:
    root = ET.fromstring(text)
except ET.ParseError as e:
    print(f"   (not XML: {e}; {len(text)} bytes)")
    sys.exit(0)
items = root.findall('ITEM')
if not items:
    print("   (no entries)")
for item in items:
    def field(name):
        e = item.find(name)
        return (e.text or '').strip() if e is not None else ''
    print(f"   [{item.get('index', ''):>3}] enable={item.get('enable', '')} flag={item.get('flag', '')}  "
          f"{field('FTITLE')}  ({field('FILE')})")
