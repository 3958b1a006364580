#!/usr/bin/env bash
# Round trips through genoconv checked against bcftools' own reading of the
# files: roundtrip_bcftools.sh BIN_DIR DATA_DIR WORK_DIR
#   1. VCF -> genotype files (one per chromosome) -> VCF: every genotype of
#      every SNP record of the input, as bcftools prints its alleles, comes
#      back the same, after the conversion's own rules are applied to the
#      bcftools text (phase dropped, haploid A written A/A, "." written ./.,
#      ID "." named CHROM:POS).
#   2. genotype file -> VCF -> genotype file gives back the same bytes, and
#      bcftools reads the exported VCF (through its index) with the same
#      alleles.
#   0. The bundled example VCF, with its types file, gives back the bundled
#      genotype file byte for byte (scripts/example.sh relies on it).
# Exit 77 (skipped) when bcftools is not installed.
set -uo pipefail
export LC_ALL=C
bin=$1 data=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
examples=$data/../../../examples
"$bin/genoconv" --vcf "$examples/chr10_300.vcf.gz" --types "$examples/chr10_300.types" --out example 2>example.log ||
  { cat example.log; exit 1; }
cmp example.geno "$examples/chr10_300.geno" || { echo "the example VCF does not give back examples/chr10_300.geno"; exit 1; }
command -v bcftools >/dev/null || { echo "bcftools not installed"; exit 77; }
check() { if ! diff "$1" "$2" >"$1.diff"; then echo "differs: $1 $2"; head -20 "$1.diff"; fail=1; fi; }

# 1. VCF -> genotype files -> VCF
"$bin/genoconv" --vcf "$data/rich.vcf" --split-chrom --out rich 2>rich.log || { cat rich.log; exit 1; }
# The records the conversion keeps, chosen by bcftools: SNPs and sites
# without ALT, REF not N.
select='(TYPE="snp" || TYPE="ref") && REF!="N"'
normalise='{ for (i = 4; i <= NF; i++) { g = toupper($i); gsub(/\|/, "/", g); if (g == ".") g = "./."; else if (g !~ /\//) g = g "/" g; $i = g } if ($3 == ".") $3 = $1 ":" $2; print }'
for chrom in 1 2 X; do
  bcftools query -i "$select && CHROM=\"$chrom\"" -f '%CHROM\t%POS\t%ID[\t%TGT]\n' "$data/rich.vcf" |
    awk -F'\t' -v OFS='\t' "$normalise" >expected.$chrom.txt
  "$bin/genoconv" --geno rich.$chrom.geno --to-vcf --out back.$chrom 2>back.$chrom.log || { cat back.$chrom.log; exit 1; }
  bcftools query -f '%CHROM\t%POS\t%ID[\t%TGT]\n' back.$chrom.vcf.gz >actual.$chrom.txt
  check expected.$chrom.txt actual.$chrom.txt
  # The genotype file itself holds the same calls, "." as N.
  awk -F'\t' -v OFS='\t' 'NR > 2 { line = $2 OFS $3 OFS $1; for (i = 5; i <= NF; i++) { g = $i; gsub(/N/, ".", g); line = line OFS g } print line }' \
    rich.$chrom.geno >geno.$chrom.txt
  check expected.$chrom.txt geno.$chrom.txt
done
# Unphased allele indices in the order written, REF the major allele: rs8
# (G/C, A/T, T/G, C/C) has C three times, G and T twice (G first), A once.
bcftools query -i 'ID="rs8"' -f '%REF\t%ALT[\t%GT]\n' back.1.vcf.gz >rs8.txt
printf 'C\tG,T,A\t1/0\t3/2\t2/1\t0/0\n' >rs8.expected
check rs8.expected rs8.txt

# 2. genotype file -> VCF -> genotype file
geno=$data/../../integration/data/chr10_60snps_200samples.geno
"$bin/genoconv" --geno "$geno" --to-vcf --out ex 2>ex.log || { cat ex.log; exit 1; }
[ -e ex.vcf.gz.tbi ] || { echo "no index ex.vcf.gz.tbi"; fail=1; }
"$bin/genoconv" --vcf ex.vcf.gz --types ex.types --out again 2>again.log || { cat again.log; exit 1; }
cmp "$geno" again.geno || { echo "genotype file changed on the way through VCF"; fail=1; }
awk -F'\t' -v OFS='\t' 'NR > 2 { line = $2 OFS $3 OFS $1; for (i = 5; i <= NF; i++) { g = $i; gsub(/N/, ".", g); line = line OFS g } print line }' \
  "$geno" >geno.txt
# A region query goes through the index.
bcftools query -r 10 -f '%CHROM\t%POS\t%ID[\t%TGT]\n' ex.vcf.gz >vcf.txt
check geno.txt vcf.txt
exit $fail
