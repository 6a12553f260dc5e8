import os
import sys

# The reference models live beside the tests.
sys.path.insert(0, os.path.dirname(__file__))
