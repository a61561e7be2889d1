"""10 series of 60,000 points each: y = sin(x / 50 + k) * x, drawn with Agg."""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

x = np.arange(60000, dtype=float)
fig = plt.figure(figsize=(12.8, 8), dpi=100)
ax = fig.add_subplot()
for k in range(10):
    ax.plot(x, np.sin(x / 50 + k) * x, linewidth=1)
fig.savefig(sys.argv[1], format="jpeg")
