"""Adds brinok's recipe to a pywws data folder.

    python3 merge.py DATA-FOLDER [STATION-FOLDER [TYPE]]

Merges the lines of the weather.ini beside this file into the data
folder's weather.ini (made if there is none): list values gain the
recipe's items, other values are set where there is none yet (the
folders of [paths] then templates/ and modules/ in the data folder), and
STATION-FOLDER, if given, replaces the station folder of [brinok], and
TYPE the station's type ('ws type' of [config]: 1080 or 3080). Then
copies the template QQ9QQ-7.Log and the service brinok.py into the
folders that [paths] names. Run it as pywws's account, while pywws is
stopped (pywws rewrites weather.ini when it stops); running it again
changes nothing more.
"""

from ast import literal_eval
import configparser
import os
import shutil
import sys

here = os.path.dirname(os.path.abspath(__file__))
if len(sys.argv) not in (2, 3, 4):
    sys.exit(__doc__)
data = sys.argv[1]
path = os.path.join(data, 'weather.ini')
recipe = configparser.RawConfigParser()
recipe.read(os.path.join(here, 'weather.ini'))
ini = configparser.RawConfigParser()
ini.read(path)
for section in recipe.sections():
    if not ini.has_section(section):
        ini.add_section(section)
    for key, value in recipe.items(section):
        if value.startswith('['):
            items = literal_eval(ini.get(section, key, fallback='[]'))
            items += [x for x in literal_eval(value) if x not in items]
            value = repr(items)
        elif ini.has_option(section, key):
            continue
        elif section == 'paths':
            value = os.path.join(os.path.abspath(data), key, '')
        ini.set(section, key, value)
if len(sys.argv) >= 3:
    ini.set('brinok', 'directory', sys.argv[2])
if len(sys.argv) == 4:
    if not ini.has_section('config'):
        ini.add_section('config')
    ini.set('config', 'ws type', sys.argv[3])
with open(path + '.new', 'w') as new:
    ini.write(new)
os.replace(path + '.new', path)
for name, key in (('QQ9QQ-7.Log', 'templates'), ('brinok.py', 'modules')):
    folder = ini.get('paths', key)
    os.makedirs(folder, exist_ok=True)
    shutil.copyfile(os.path.join(here, name), os.path.join(folder, name))
    print('%s: %s' % (key, os.path.join(folder, name)))
print('%s: [logged] %s, station folder %s' % (
    path, ini.get('logged', 'services'), ini.get('brinok', 'directory')))
