#!/usr/bin/env python3
import sys
print("0 passed, 0 failed")
