"""Prints the particle count of a frame read by the twcache module found under the prefix given."""
import sys

import twcache

assert twcache.__file__.startswith(sys.argv[1]), twcache.__file__
print(len(twcache.read_particles(sys.argv[2])))
