"""Deletes the records of a pywws data folder that are dated after now.

    python3 forget-future.py DATA-FOLDER

After the computer's clock has stepped back, pywws-livelog refuses to
start ("Computer time is earlier than last stored data"), or places no
reading ("ahead of the clock"), until the clock passes its newest
record. Run it as pywws's account while pywws is stopped, then
pywws-reprocess, which makes the summaries again from what is left.
"""

from datetime import datetime
import sys

import pywws.storage

if len(sys.argv) != 2:
    sys.exit(__doc__)
now = datetime.utcnow()
with pywws.storage.pywws_context(sys.argv[1]) as context:
    future = sum(1 for _ in context.raw_data[now:])
    del context.raw_data[now:]
print('%d records dated after %s UTC deleted' % (future, now.strftime('%F %T')))
